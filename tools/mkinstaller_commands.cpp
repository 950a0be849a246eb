// mkinstaller: makes installer files (a PE image with a payload appended
// after its last section, described by the payload descriptor in the DOS
// header) and examines them.

#include "tools/mkinstaller_commands.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "install/payload_layout.h"
#include "tools/pe_image.h"
#include "tools/sha256.h"

namespace fs = std::filesystem;

static const char UsageText[] = "Usage: mkinstaller pack IMAGE PAYLOAD OUTPUT\n"
                                "       mkinstaller inspect INSTALLER\n"
                                "       mkinstaller extract INSTALLER OUTPUT\n"
                                "       mkinstaller --help | --version\n";

static const char HelpText[] =
    "\n"
    "Makes and examines installer files: a linked PE image with a payload\n"
    "appended after the raw data of its last section. Two unsigned 32-bit\n"
    "little-endian fields in the DOS header describe the payload:\n"
    "payloadOffset at 0x30 and payloadLength at 0x34.\n"
    "\n"
    "  pack     write IMAGE followed by PAYLOAD to OUTPUT, with payloadOffset\n"
    "           the size of IMAGE and payloadLength the size of PAYLOAD.\n"
    "           IMAGE must end exactly with its last section and have the\n"
    "           DOS header bytes 0x28 to 0x3B zero. OUTPUT is written through\n"
    "           a temporary file in its folder; on failure none is left.\n"
    "  inspect  print the layout of INSTALLER and the SHA-256 of its image part\n"
    "           (as linked: with the descriptor zero) and of its payload; exit 0\n"
    "           only when the payload starts at the end of the image and ends\n"
    "           at the end of the file.\n"
    "  extract  write the payload of INSTALLER to OUTPUT exactly as the\n"
    "           installer cuts it: the last payloadLength bytes of the file.\n"
    "\n"
    "Exit status: 0 on success, 1 on failure, 2 on wrong usage.\n";

static int Fail(std::ostream& err, const std::string& file, const std::string& reason)
{
    err << "mkinstaller: " << file << ": " << reason << "\n";
    return ExitFailure;
}

static bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes,
                          std::string& reason)
{
    std::error_code error;
    if (fs::is_directory(path, error)) {
        reason = "is a directory";
        return false;
    }
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        reason = std::string("cannot open: ") + strerror(errno);
        return false;
    }
    bytes.clear();
    unsigned char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    bool failed = ferror(file) != 0;
    int readErrno = errno;
    fclose(file);
    if (failed)
        reason = std::string("cannot read: ") + strerror(readErrno);
    return !failed;
}

// Whether `output` names the same file as `input` (only an existing output
// can).
static bool SameFile(const std::string& output, const std::string& input)
{
    std::error_code error;
    return fs::equivalent(output, input, error) && !error;
}

// A new, empty file next to `output`, opened for writing; its name goes to
// `temporary`.
static FILE* CreateTemporaryBeside(const std::string& output, std::string& temporary,
                                   std::string& reason)
{
    fs::path target(output);
    fs::path folder = target.parent_path();
    std::string stem = "." + target.filename().string() + ".mkinstaller-";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        temporary = (folder / (stem + std::to_string(attempt))).string();
        FILE* file = fopen(temporary.c_str(), "wbx");
        if (file)
            return file;
        if (errno != EEXIST)
            break;
    }
    reason = std::string("cannot create a temporary file beside it: ") + strerror(errno);
    return nullptr;
}

// Closes the temporary file and renames it to `output`; removes it when
// anything went wrong so that no partial file is left behind.
static int FinishTemporary(FILE* file, const std::string& temporary, const std::string& output,
                           bool written, std::ostream& err)
{
    bool closed = fclose(file) == 0;
    int closeErrno = errno;
    std::error_code error;
    if (!written || !closed) {
        fs::remove(temporary, error);
        if (written)
            return Fail(err, output, std::string("cannot write: ") + strerror(closeErrno));
        return ExitFailure;
    }
    std::error_code ignored;
    fs::permissions(temporary,
                    fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, ignored);
    fs::rename(temporary, output, error);
    if (error) {
        fs::remove(temporary, ignored);
        return Fail(err, output, "cannot rename the temporary file into place: " + error.message());
    }
    return ExitSuccess;
}

static bool WriteBytes(FILE* file, const unsigned char* bytes, size_t length,
                       const std::string& output, std::ostream& err)
{
    if (length == 0 || fwrite(bytes, 1, length, file) == length)
        return true;
    Fail(err, output, std::string("cannot write: ") + strerror(errno));
    return false;
}

int PackInstaller(const std::string& imagePath, const std::string& payloadPath,
                  const std::string& output, std::ostream& err)
{
    std::vector<unsigned char> image;
    std::string reason;
    if (!ReadWholeFile(imagePath, image, reason))
        return Fail(err, imagePath, reason);
    uint64_t rawEnd = 0;
    if (!FindSectionsRawEnd(image.data(), image.size(), rawEnd, reason))
        return Fail(err, imagePath, reason);
    if (rawEnd != image.size())
        return Fail(err, imagePath,
                    std::to_string(image.size() - rawEnd) +
                        " bytes follow the raw data of its last section (which ends at offset " +
                        std::to_string(rawEnd) +
                        "): a signature, debug data or an earlier payload; pack the bare image");
    if (!DescriptorWordsClear(image.data()))
        return Fail(
            err, imagePath,
            "the DOS header bytes 0x28 to 0x3B are in use; the payload descriptor needs them zero");

    std::vector<unsigned char> payload;
    if (!ReadWholeFile(payloadPath, payload, reason))
        return Fail(err, payloadPath, reason);
    if (payload.empty())
        return Fail(err, payloadPath, "is empty; an installer needs a package to install");
    if (!LooksLikeWindowsProgram(payload.data(), payload.size()))
        return Fail(err, payloadPath,
                    "is not a Windows program (no \"MZ\" with a \"PE\" header where it points); "
                    "the installer runs its package");
    if (payload.size() > LargestPayload)
        return Fail(err, payloadPath,
                    "is " + std::to_string(payload.size()) + " bytes; an installer holds at most " +
                        std::to_string(LargestPayload) + " bytes (1 GiB) of payload");
    if (SameFile(output, imagePath) || SameFile(output, payloadPath))
        return Fail(err, output, "is one of the inputs");

    PayloadDescriptor descriptor = {(uint32_t)image.size(), (uint32_t)payload.size()};
    WritePayloadDescriptor(image.data(), descriptor);
    WriteIntegrityRecord(image.data(), Crc32(0, payload.data(), payload.size()));

    std::string temporary;
    FILE* file = CreateTemporaryBeside(output, temporary, reason);
    if (!file)
        return Fail(err, output, reason);
    bool written = WriteBytes(file, image.data(), image.size(), output, err) &&
                   WriteBytes(file, payload.data(), payload.size(), output, err);
    return FinishTemporary(file, temporary, output, written, err);
}

// The digest of the image part as it was linked: the descriptor that pack
// fills in counts as zero, so that it equals the digest of the bare image.
static std::string LinkedImageDigest(const std::vector<unsigned char>& file, uint64_t imageEnd)
{
    std::vector<unsigned char> image(file.begin(), file.begin() + imageEnd);
    if (image.size() >= PayloadHeaderSize)
        WritePayloadDescriptor(image.data(), {0, 0});
    return Sha256Hex(image.data(), image.size());
}

static const char* YesNo(bool value)
{
    return value ? "yes" : "no";
}

int InspectInstaller(const std::string& installer, std::ostream& out, std::ostream& err)
{
    std::vector<unsigned char> file;
    std::string reason;
    if (!ReadWholeFile(installer, file, reason))
        return Fail(err, installer, reason);
    uint64_t rawEnd = 0;
    if (!FindSectionsRawEnd(file.data(), file.size(), rawEnd, reason))
        return Fail(err, installer, reason);
    PayloadDescriptor descriptor = ReadPayloadDescriptor(file.data());
    uint64_t fileSize = file.size();
    bool offsetAtImageEnd = descriptor.payloadOffset == rawEnd;
    bool lengthReachesEnd =
        (uint64_t)descriptor.payloadOffset + descriptor.payloadLength == fileSize;

    const char* kind = "no";
    std::string payloadDigest = "(the file is too large for an installer)";
    if (fileSize <= UINT32_MAX) {
        InstallerLayout layout = CheckInstallerFile(file.data(), (uint32_t)fileSize);
        const unsigned char* payload = file.data() + layout.payloadStart;
        payloadDigest = Sha256Hex(payload, layout.payloadLength);
        if (LooksLikeWindowsProgram(payload, layout.payloadLength))
            kind = "yes (\"MZ\" and a PE header)";
        else if (layout.payloadLength >= 2 && payload[0] == 'M' && payload[1] == 'Z')
            kind = "begins with \"MZ\", but has no PE header";
    }
    out << "image size:                " << rawEnd << "\n"
        << "payloadOffset:             " << descriptor.payloadOffset << "\n"
        << "payloadLength:             " << descriptor.payloadLength << "\n"
        << "file size:                 " << fileSize << "\n"
        << "payload is a program:      " << kind << "\n"
        << "offset is the image end:   " << YesNo(offsetAtImageEnd) << "\n"
        << "offset+length is the size: " << YesNo(lengthReachesEnd) << "\n"
        << "image SHA-256:             " << LinkedImageDigest(file, rawEnd) << "\n"
        << "payload SHA-256:           " << payloadDigest << "\n";
    return offsetAtImageEnd && lengthReachesEnd ? ExitSuccess : ExitFailure;
}

int ExtractPayloadFile(const std::string& installer, const std::string& output, std::ostream& err)
{
    std::vector<unsigned char> file;
    std::string reason;
    if (!ReadWholeFile(installer, file, reason))
        return Fail(err, installer, reason);
    if (file.size() > UINT32_MAX)
        return Fail(err, installer, "is 4 GiB or larger; an installer cannot read it");
    if (SameFile(output, installer))
        return Fail(err, output, "is the installer itself");
    InstallerLayout layout = CheckInstallerFile(file.data(), (uint32_t)file.size());

    std::string temporary;
    FILE* out = CreateTemporaryBeside(output, temporary, reason);
    if (!out)
        return Fail(err, output, reason);
    bool written =
        WriteBytes(out, file.data() + layout.payloadStart, layout.payloadLength, output, err);
    return FinishTemporary(out, temporary, output, written, err);
}

int RunMkinstaller(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h" || command == "help") {
        out << UsageText << HelpText;
        return ExitSuccess;
    }
    if (command == "--version") {
        out << "mkinstaller " << VARNOK_VERSION << "\n";
        return ExitSuccess;
    }
    if (command == "pack" && argc == 5)
        return PackInstaller(argv[2], argv[3], argv[4], err);
    if (command == "inspect" && argc == 3)
        return InspectInstaller(argv[2], out, err);
    if (command == "extract" && argc == 4)
        return ExtractPayloadFile(argv[2], argv[3], err);
    if (command == "pack" || command == "inspect" || command == "extract")
        err << "mkinstaller: " << command << ": wrong number of arguments\n";
    else if (!command.empty())
        err << "mkinstaller: unknown command '" << command << "'\n";
    err << UsageText << "Try 'mkinstaller --help' for more information.\n";
    return ExitUsage;
}
