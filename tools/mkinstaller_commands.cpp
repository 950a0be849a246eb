// mkinstaller: makes installer files (a PE image with a payload appended
// after its last section, described by the payload descriptor in the DOS
// header) and examines them.

#include "tools/mkinstaller_commands.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "install/payload_layout.h"
#include "tools/pe_image.h"
#include "tools/sha256.h"
#include "varnok_version.h"

namespace fs = std::filesystem;

static const char UsageText[] = "Usage: mkinstaller pack IMAGE PAYLOAD OUTPUT\n"
                                "       mkinstaller inspect INSTALLER\n"
                                "       mkinstaller extract INSTALLER OUTPUT\n"
                                "       mkinstaller --help | --version\n";

static const char HelpText[] =
    "\n"
    "Makes and examines installer files: a linked PE image with a payload (a\n"
    "Windows program) appended after the raw data of its last section. The\n"
    "DOS header describes the payload, in little-endian 32-bit fields: the\n"
    "marker \"VKR1\" at 0x28 and the CRC-32 of the payload at 0x2C (the\n"
    "integrity record), payloadOffset at 0x30, payloadLength at 0x34; 0x38 is\n"
    "zero. Bytes 0x28 to 0x2F are zero in files made before the record; any\n"
    "other content that is not the record makes the file damaged. A signing\n"
    "tool may later pad the file with up to 7 zero bytes and append a\n"
    "certificate table; inspect and extract accept such a file, and the same\n"
    "file with its signature removed, which keeps the padding.\n"
    "\n"
    "  pack     write IMAGE followed by PAYLOAD to OUTPUT with the header\n"
    "           fields filled in. IMAGE must be unsigned (sign the installer\n"
    "           that pack makes), end exactly with its last section and have\n"
    "           the DOS header bytes 0x28 to 0x3B zero. PAYLOAD must be a\n"
    "           Windows program of at most 512 MiB. OUTPUT is written through a\n"
    "           temporary file in its folder, flushed to disk before it is\n"
    "           renamed into place; on failure none is left.\n"
    "  inspect  print the layout of INSTALLER and the SHA-256 of its image part\n"
    "           as linked (the header fields zero and, in a signed file, the\n"
    "           security directory and checksum undone) and of its payload.\n"
    "           Exit 0 only when the installer would install it, the payload\n"
    "           starts at the end of the image and ends where the file's data\n"
    "           ends; otherwise say what is wrong.\n"
    "  extract  write the payload that the installer would install to OUTPUT,\n"
    "           in the same way as pack writes; refuse a file that is no\n"
    "           installer or whose payload is missing, cut short or damaged.\n"
    "\n"
    "Exit status: 0 on success, 1 on failure, 2 on wrong usage.\n";

static int Fail(std::ostream& err, const std::string& file, const std::string& reason)
{
    err << "mkinstaller: " << file << ": " << reason << "\n";
    return ExitFailure;
}

// Reads a file whole, or stops once it has more than `most` bytes.
static bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes,
                          std::string& reason, uint64_t most = UINT64_MAX)
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
    while (bytes.size() <= most && (got = fread(chunk, 1, sizeof chunk, file)) > 0)
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

// Puts what was written to `file` on the disk, so that the name never
// refers to a file whose bytes a power cut could still lose.
static bool FlushToDisk(FILE* file, std::string& reason)
{
    if (fflush(file) == 0 && fsync(fileno(file)) == 0)
        return true;
    reason = std::string("cannot write: ") + strerror(errno);
    return false;
}

// Puts the folder's entries on the disk, the new name among them.
static bool SyncFolderOf(const std::string& output, std::string& reason)
{
    fs::path folder = fs::path(output).parent_path();
    if (folder.empty())
        folder = ".";
    int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    bool synced = descriptor >= 0 && fsync(descriptor) == 0;
    int syncErrno = errno;
    if (descriptor >= 0)
        close(descriptor);
    if (!synced)
        reason = std::string("renamed into place, but its folder cannot be flushed to disk: ") +
                 strerror(syncErrno);
    return synced;
}

// Flushes and closes the temporary file and renames it to `output`; removes
// it when anything went wrong so that no partial file is left behind.
// `written` is false when a write already failed and was reported.
static int FinishTemporary(FILE* file, const std::string& temporary, const std::string& output,
                           bool written, std::ostream& err)
{
    std::string reason;
    bool flushed = written && FlushToDisk(file, reason);
    bool closed = fclose(file) == 0;
    if (flushed && !closed)
        reason = std::string("cannot write: ") + strerror(errno);
    std::error_code ignored;
    if (!flushed || !closed) {
        fs::remove(temporary, ignored);
        return written ? Fail(err, output, reason) : ExitFailure;
    }
    fs::permissions(temporary,
                    fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, ignored);
    std::error_code error;
    fs::rename(temporary, output, error);
    if (error) {
        fs::remove(temporary, ignored);
        return Fail(err, output, "cannot rename the temporary file into place: " + error.message());
    }
    // The file is whole and in place by now; only its name may not last.
    if (!SyncFolderOf(output, reason))
        return Fail(err, output, reason);
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

static std::string TooLargeAPayload(uint64_t size)
{
    return "is " + std::to_string(size) + " bytes; an installer holds at most " +
           std::to_string(LargestPayload) + " bytes (" + std::to_string(LargestPayload >> 20) +
           " MiB) of payload";
}

static std::string TooLargeAnInstaller(uint64_t size)
{
    return "the installer would be " + std::to_string(size) +
           " bytes, more than its 32-bit payload fields can describe";
}

int PackInstaller(const std::string& imagePath, const std::string& payloadPath,
                  const std::string& output, std::ostream& err)
{
    // The sizes first: an input too large is refused before it is read.
    std::error_code imageError, payloadError;
    uint64_t imageSize = fs::file_size(imagePath, imageError);
    uint64_t payloadSize = fs::file_size(payloadPath, payloadError);
    if (!payloadError && payloadSize > LargestPayload)
        return Fail(err, payloadPath, TooLargeAPayload(payloadSize));
    if (!imageError && !payloadError && imageSize + payloadSize > UINT32_MAX)
        return Fail(err, output, TooLargeAnInstaller(imageSize + payloadSize));

    std::vector<unsigned char> image;
    std::string reason;
    if (!ReadWholeFile(imagePath, image, reason, UINT32_MAX))
        return Fail(err, imagePath, reason);
    PeLayout pe;
    if (!ReadImageLayout(image.data(), image.size(), pe, reason))
        return Fail(err, imagePath, reason);
    if (pe.certificateSize != 0)
        return Fail(err, imagePath,
                    "is signed (it has a certificate table of " +
                        std::to_string(pe.certificateSize) +
                        " bytes); signing comes after packing: pack the unsigned image, then "
                        "sign the installer that pack makes");
    if (pe.imageEnd != image.size())
        return Fail(err, imagePath,
                    std::to_string(image.size() - pe.imageEnd) +
                        " bytes follow the raw data of its last section (which ends at offset " +
                        std::to_string(pe.imageEnd) +
                        "): a signature, debug data or an earlier payload; pack the bare image");
    if (!DescriptorWordsClear(image.data()))
        return Fail(
            err, imagePath,
            "the DOS header bytes 0x28 to 0x3B are in use; the payload descriptor needs them zero");

    std::vector<unsigned char> payload;
    if (!ReadWholeFile(payloadPath, payload, reason, LargestPayload))
        return Fail(err, payloadPath, reason);
    if (payload.empty())
        return Fail(err, payloadPath, "is empty; an installer needs a package to install");
    if (payload.size() > LargestPayload)
        return Fail(err, payloadPath, TooLargeAPayload(payload.size()));
    if (!LooksLikeWindowsProgram(payload.data(), payload.size()))
        return Fail(err, payloadPath,
                    "is not a Windows program (no \"MZ\" with a \"PE\" header where it points); "
                    "the installer runs its package");
    if ((uint64_t)image.size() + payload.size() > UINT32_MAX)
        return Fail(err, output, TooLargeAnInstaller((uint64_t)image.size() + payload.size()));
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

// Reads an installer file whole and checks it as the installer does. False,
// with the reason, when it cannot be read or is no PE image at all.
static bool ReadInstaller(const std::string& path, std::vector<unsigned char>& file,
                          InstallerLayout& layout, std::string& reason)
{
    if (!ReadWholeFile(path, file, reason, UINT32_MAX))
        return false;
    if (file.size() > UINT32_MAX) {
        reason = "is 4 GiB or larger; an installer cannot read it";
        return false;
    }
    PeLayout pe;
    if (!ReadImageLayout(file.data(), file.size(), pe, reason)) {
        reason = "not an installer: " + reason;
        return false;
    }
    layout = CheckInstallerFile(file.data(), (uint32_t)file.size());
    return true;
}

static std::string Hex32(uint32_t value)
{
    char text[9];
    snprintf(text, sizeof text, "%08x", value);
    return text;
}

// The CRC-32 of the payload that CheckInstallerFile located.
static uint32_t PayloadCrc(const std::vector<unsigned char>& file, const InstallerLayout& layout)
{
    return Crc32(0, file.data() + layout.payloadStart, layout.payloadLength);
}

// Bytes 0x28 to 0x2F, where the integrity record lies, in hexadecimal.
static std::string RecordBytes(const std::vector<unsigned char>& file)
{
    std::string text;
    for (uint32_t i = IntegrityMarkerField; i < PayloadOffsetField; ++i) {
        char byte[4];
        snprintf(byte, sizeof byte, "%s%02x", text.empty() ? "" : " ", file[i]);
        text += byte;
    }
    return text;
}

// How many zero bytes follow payloadOffset + payloadLength in an unsigned
// file whose payload the fields place: the signing tool's padding, left
// behind when a signature is removed.
static uint64_t PaddingLeft(const std::vector<unsigned char>& file, const InstallerLayout& layout)
{
    if (layout.isSigned || !layout.fieldsReachDataEnd)
        return 0;
    return file.size() -
           ((uint64_t)layout.descriptor.payloadOffset + layout.descriptor.payloadLength);
}

// Why the installer would not install the file, in words; empty when it would.
static std::string DescribeCheck(const std::vector<unsigned char>& file,
                                 const InstallerLayout& layout)
{
    uint64_t tableEnd = (uint64_t)layout.pe.certificateOffset + layout.pe.certificateSize;
    switch (layout.check) {
    case PayloadIntact:
        return "";
    case NotAnInstaller:
        return "not an installer: its headers are not those of a linked PE image";
    case PayloadMissing:
        return "no payload: payloadLength is 0";
    case PayloadIncomplete:
        if (layout.isSigned && tableEnd > file.size())
            return "cut short: the certificate table runs past the end of the file";
        return "cut short: a payload of " + std::to_string(layout.descriptor.payloadLength) +
               " bytes does not fit after the image, which ends at offset " +
               std::to_string(layout.pe.imageEnd) + " of " + std::to_string(file.size()) + " bytes";
    case PayloadDamaged:
        if (layout.isSigned && tableEnd != file.size())
            return std::to_string(file.size() - tableEnd) +
                   " bytes follow the certificate table, which must end a signed file";
        if (layout.isSigned && !layout.fieldsReachDataEnd)
            return "signed, but the payload does not end at the certificate table (offset " +
                   std::to_string(layout.pe.certificateOffset) +
                   ") with fewer than 8 zero bytes between them";
        if (!HasIntegrityRecord(file.data()))
            return "the integrity record is damaged: bytes 0x28 to 0x2F are " + RecordBytes(file) +
                   ", neither zero nor the marker \"VKR1\" with a CRC-32";
        return "the payload has changed or bytes were appended after it: its CRC-32 is " +
               Hex32(PayloadCrc(file, layout)) + ", the integrity record says " +
               Hex32(layout.recordedChecksum);
    case PayloadNotAProgram:
        return "the payload is not a Windows program (no \"MZ\" with a \"PE\" header where "
               "it points)";
    default:
        return "cannot be checked";
    }
}

// The digest of the image part as it was linked. The header fields that
// pack fills in count as zero. A signing tool sets the security directory
// and recomputes the checksum over the whole signed file: the entry is
// zeroed and the checksum of the image without it written back, which is
// the one the linker wrote. The same is done for a file whose signature
// was removed.
static std::string LinkedImageDigest(const std::vector<unsigned char>& file,
                                     const InstallerLayout& layout)
{
    std::vector<unsigned char> image(file.begin(), file.begin() + layout.pe.imageEnd);
    if (image.size() >= PayloadHeaderSize)
        std::fill(image.begin() + IntegrityMarkerField, image.begin() + 0x3C, 0);
    const PeLayout& pe = layout.pe;
    // Removing a signature zeroes the entry and writes the checksum of the
    // whole file again; a linker's is that of the image alone.
    bool rewritten =
        layout.isSigned || (pe.checksumField != 0 && pe.checksumField + 4 <= image.size() &&
                            ReadLittleEndian32(file.data() + pe.checksumField) ==
                                PeChecksum(file.data(), file.size(), pe.checksumField));
    if (rewritten && pe.securityEntryField + 8 <= image.size() &&
        pe.checksumField + 4 <= image.size()) {
        std::fill(image.begin() + pe.securityEntryField, image.begin() + pe.securityEntryField + 8,
                  0);
        WriteLittleEndian32(image.data() + pe.checksumField,
                            PeChecksum(image.data(), image.size(), pe.checksumField));
    }
    return Sha256Hex(image.data(), image.size());
}

static const char* YesNo(bool value)
{
    return value ? "yes" : "no";
}

int InspectInstaller(const std::string& installer, std::ostream& out, std::ostream& err)
{
    std::vector<unsigned char> file;
    InstallerLayout layout;
    std::string reason;
    if (!ReadInstaller(installer, file, layout, reason))
        return Fail(err, installer, reason);
    const PayloadDescriptor& descriptor = layout.descriptor;
    bool offsetAtImageEnd = descriptor.payloadOffset == layout.pe.imageEnd;
    bool endsAtDataEnd = layout.fieldsReachDataEnd;

    // CheckInstallerFile gives a length only when it located the payload.
    const unsigned char* payload = file.data() + layout.payloadStart;
    bool located = layout.payloadLength != 0;
    std::string record = "no (a file made without one)";
    if (layout.hasRecord && !HasIntegrityRecord(file.data())) {
        record = "damaged: bytes 0x28 to 0x2F are " + RecordBytes(file) +
                 ", neither zero nor the marker \"VKR1\" with a CRC-32";
    } else if (layout.hasRecord) {
        record =
            (layout.isUninstaller ? "yes, of an uninstaller (\"VKU1\"), CRC-32 " : "yes, CRC-32 ") +
            Hex32(layout.recordedChecksum);
        if (!located)
            record += ", but no payload was found";
        else if (PayloadCrc(file, layout) == layout.recordedChecksum)
            record += " matches";
        else
            record += ", but the payload's is " + Hex32(PayloadCrc(file, layout));
    }
    std::string signature = "no";
    if (layout.isSigned)
        signature = "yes, certificate table at offset " +
                    std::to_string(layout.pe.certificateOffset) + ", " +
                    std::to_string(layout.pe.certificateSize) + " bytes";
    const char* kind = "no";
    if (layout.isUninstaller)
        kind = "no: the record of an installation, which this uninstaller removes";
    else if (LooksLikeWindowsProgram(payload, layout.payloadLength))
        kind = "yes (\"MZ\" and a PE header)";
    else if (layout.payloadLength >= 2 && payload[0] == 'M' && payload[1] == 'Z')
        kind = "begins with \"MZ\", but has no PE header";
    std::string payloadDigest = located ? Sha256Hex(payload, layout.payloadLength) : "(none)";
    std::string padding;
    if (uint64_t zeros = PaddingLeft(file, layout))
        padding = ", then " + std::to_string(zeros) +
                  " zero bytes (the padding that a removed signature leaves)";

    out << "image size:                " << layout.pe.imageEnd << "\n"
        << "payloadOffset:             " << descriptor.payloadOffset << "\n"
        << "payloadLength:             " << descriptor.payloadLength << "\n"
        << "file size:                 " << file.size() << "\n"
        << "integrity record:          " << record << "\n"
        << "signed:                    " << signature << "\n"
        << "payload is a program:      " << kind << "\n"
        << "offset is the image end:   " << YesNo(offsetAtImageEnd) << "\n"
        << "offset+length is the end:  " << YesNo(endsAtDataEnd) << padding << "\n"
        << "image SHA-256:             " << LinkedImageDigest(file, layout) << "\n"
        << "payload SHA-256:           " << payloadDigest << "\n";

    std::string problem = DescribeCheck(file, layout);
    if (problem.empty() && !offsetAtImageEnd)
        problem = "payloadOffset is " + std::to_string(descriptor.payloadOffset) +
                  ", but the image ends at " + std::to_string(layout.pe.imageEnd);
    if (problem.empty() && !endsAtDataEnd)
        problem = "payloadOffset + payloadLength is " +
                  std::to_string((uint64_t)descriptor.payloadOffset + descriptor.payloadLength) +
                  ", but the file is " + std::to_string(file.size()) +
                  " bytes: bytes were appended, or the fields are wrong";
    return problem.empty() ? ExitSuccess : Fail(err, installer, problem);
}

int ExtractPayloadFile(const std::string& installer, const std::string& output, std::ostream& err)
{
    if (SameFile(output, installer))
        return Fail(err, output, "is the installer itself");
    std::vector<unsigned char> file;
    InstallerLayout layout;
    std::string reason;
    if (!ReadInstaller(installer, file, layout, reason))
        return Fail(err, installer, reason);
    std::string problem = DescribeCheck(file, layout);
    if (!problem.empty())
        return Fail(err, installer, problem + "; nothing extracted");

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
        out << "mkinstaller " << VARNOK_VERSION << " (" << VARNOK_PRODUCT_NAME << ")\n"
            << "publisher: " << VARNOK_PUBLISHER << "\n";
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
