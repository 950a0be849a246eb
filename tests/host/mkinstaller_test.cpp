// mkinstaller: the PE end finder and checksum, pack/inspect/extract round
// trips, signed installers, damaged files, and the refusals of pack, which
// must never leave an output behind.

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "install/payload_layout.h"
#include "tests/host/fake_pe.h"
#include "tools/mkinstaller_commands.h"
#include "tools/pe_image.h"
#include "tools/sha256.h"

namespace fs = std::filesystem;

static Bytes Pattern(size_t size, unsigned seed)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = (unsigned char)((i * 2654435761u + seed) >> 13);
    return b;
}

// An image as the linker leaves it: GoodImage with its checksum written.
static Bytes LinkedImage()
{
    Bytes b = GoodImage();
    Put32(b, FakeChecksumField, PeChecksum(b.data(), b.size(), FakeChecksumField));
    return b;
}

// What a signing tool does to a file: zero padding to a multiple of 8, a
// certificate table of 0x300 bytes that the security directory points at,
// and a checksum of the whole (any other value serves here).
static Bytes Signed(Bytes file)
{
    while (file.size() % 8 != 0)
        file.push_back(0);
    Put32(file, FakeSecurityEntry, (uint32_t)file.size());
    Put32(file, FakeSecurityEntry + 4, 0x300);
    for (uint32_t i = 0; i < 0x300; ++i)
        file.push_back((unsigned char)(i * 31 + 7));
    Put32(file, FakeChecksumField, 0x5EED5EED);
    return file;
}

static std::string Hex32(uint32_t value)
{
    char text[9];
    snprintf(text, sizeof text, "%08x", value);
    return text;
}

static void Save(const fs::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write((const char*)bytes.data(), bytes.size());
}

static Bytes Load(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

static std::string Digest(const Bytes& bytes)
{
    return Sha256Hex(bytes.data(), bytes.size());
}

static std::set<std::string> Listing(const fs::path& folder)
{
    std::set<std::string> names;
    for (auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class Mkinstaller : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/mkinstaller-test-XXXXXX";
        dir = mkdtemp(pattern);
        image = dir / "setup-image.exe";
        payload = dir / "payload.bin";
        output = dir / "installer.exe";
    }
    void TearDown() override
    {
        fs::remove_all(dir);
    }

    int Run(std::vector<std::string> args)
    {
        std::vector<const char*> argv = {"mkinstaller"};
        for (auto& a : args)
            argv.push_back(a.c_str());
        out.str(""), err.str("");
        return RunMkinstaller((int)argv.size(), argv.data(), out, err);
    }

    fs::path dir, image, payload, output;
    std::ostringstream out, err;
};

TEST(PeImage, FindsTheLargestRawEndOrSaysWhyNot)
{
    Bytes good = GoodImage();
    PeLayout layout;
    std::string problem;
    ASSERT_TRUE(ReadImageLayout(good.data(), good.size(), layout, problem)) << problem;
    EXPECT_EQ(layout.imageEnd, 0xA00u);
    EXPECT_TRUE(LooksLikeWindowsProgram(good.data(), good.size()));
    EXPECT_TRUE(DescriptorWordsClear(good.data()));

    struct Broken {
        const char* what;
        Bytes bytes;
    };
    std::vector<Broken> broken;
    broken.push_back({"shorter than a DOS header", Bytes(good.begin(), good.begin() + 0x3F)});
    broken.push_back({"no MZ", good});
    broken.back().bytes[1] = 'X';
    broken.push_back({"PE offset past the end", good});
    Put32(broken.back().bytes, 0x3C, 0x9F0);
    broken.push_back({"no PE signature", good});
    broken.back().bytes[0x81] = 'X';
    broken.push_back({"section table past the end", FakeImage({{0x200, 0x10}}, 0x210)});
    Put16(broken.back().bytes, 0x86, 60);
    broken.push_back({"section data past the end", Bytes(good.begin(), good.begin() + 0x9FF)});
    broken.push_back({"no raw data", FakeImage({{0, 0}, {0x400, 0}}, 0x400)});
    for (Broken& b : broken) {
        problem.clear();
        EXPECT_FALSE(ReadImageLayout(b.bytes.data(), b.bytes.size(), layout, problem)) << b.what;
        EXPECT_FALSE(problem.empty()) << b.what;
    }
    EXPECT_FALSE(LooksLikeWindowsProgram(broken[1].bytes.data(), broken[1].bytes.size()));
    EXPECT_FALSE(LooksLikeWindowsProgram(broken[3].bytes.data(), broken[3].bytes.size()));

    for (size_t at : {0x28, 0x30, 0x37, 0x3B}) {
        Bytes used = good;
        used[at] = 1;
        EXPECT_FALSE(DescriptorWordsClear(used.data())) << at;
    }
}

TEST(PeImage, ChecksumFoldsCarriesSkipsItsFieldAndAddsTheSize)
{
    // Words 0x0201 and 0x0403 give 0x0604; each 0xFFFF added folds back to
    // 0x0604; the odd last byte adds 5, the size 13: 0x0616.
    Bytes b = {1, 2, 3, 4, 0xAA, 0xBB, 0xCC, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 5};
    EXPECT_EQ(PeChecksum(b.data(), b.size(), 4), 0x0616u);
    Put32(b, 4, 0);
    EXPECT_EQ(PeChecksum(b.data(), b.size(), 4), 0x0616u) << "the field counts as zero";
    // With the field at 8 the bytes at 4 count: 0x0604 + 0xBBAA + 0xDDCC
    // = 0x19F7A, folded 0x9F7B, + 5 + 13 = 0x9F8D.
    Put32(b, 4, 0xDDCCBBAA);
    EXPECT_EQ(PeChecksum(b.data(), b.size(), 8), 0x9F8Du);

    // A real linked image carries its own checksum.
    fs::path source = fs::path(__FILE__).parent_path().parent_path().parent_path();
    fs::path linked = source / "build" / "win32" / "varnok-setup.exe";
    if (!fs::exists(linked))
        GTEST_SKIP() << linked << " is not built";
    std::ifstream in(linked, std::ios::binary);
    Bytes image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    PeLayout layout;
    std::string problem;
    ASSERT_TRUE(ReadImageLayout(image.data(), image.size(), layout, problem)) << problem;
    ASSERT_NE(layout.checksumField, 0u);
    uint32_t written = ReadLittleEndian32(image.data() + layout.checksumField);
    EXPECT_NE(written, 0u);
    EXPECT_EQ(PeChecksum(image.data(), image.size(), layout.checksumField), written);
}

TEST_F(Mkinstaller, PackInspectExtractRoundTripByteForByte)
{
    Bytes imageBytes = LinkedImage();
    Bytes payloadBytes = FakeProgram(70001, 3);
    Save(image, imageBytes);
    Save(payload, payloadBytes);
    Save(output, Bytes{'o', 'l', 'd'});  // packing replaces an existing output

    ASSERT_EQ(Run({"pack", image, payload, output}), ExitSuccess) << err.str();
    EXPECT_EQ(err.str(), "");
    Bytes packed = Load(output);
    ASSERT_EQ(packed.size(), imageBytes.size() + payloadBytes.size());
    PayloadDescriptor d = ReadPayloadDescriptor(packed.data());
    EXPECT_EQ(d.payloadOffset, 0xA00u);
    EXPECT_EQ(d.payloadLength, 70001u);
    uint32_t crc = Crc32(0, payloadBytes.data(), payloadBytes.size());
    EXPECT_TRUE(HasIntegrityRecord(packed.data()));
    EXPECT_EQ(ReadLittleEndian32(packed.data() + IntegrityChecksumField), crc);
    for (size_t i = 0; i < imageBytes.size(); ++i)
        if (i < 0x28 || i >= 0x38)
            ASSERT_EQ(packed[i], imageBytes[i]) << i;
    EXPECT_TRUE(std::equal(payloadBytes.begin(), payloadBytes.end(), packed.begin() + 0xA00));
    EXPECT_EQ(Listing(dir),
              (std::set<std::string>{"setup-image.exe", "payload.bin", "installer.exe"}));

    // The digests match those of the bare image and of the package, which
    // a user can take with sha256sum.
    ASSERT_EQ(Run({"inspect", output}), ExitSuccess) << err.str();
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(out.str(), "image size:                2560\n"
                         "payloadOffset:             2560\n"
                         "payloadLength:             70001\n"
                         "file size:                 72561\n"
                         "integrity record:          yes, CRC-32 " +
                             Hex32(crc) +
                             " matches\n"
                             "signed:                    no\n"
                             "payload is a program:      yes (\"MZ\" and a PE header)\n"
                             "offset is the image end:   yes\n"
                             "offset+length is the end:  yes\n"
                             "image SHA-256:             " +
                             Digest(imageBytes) +
                             "\n"
                             "payload SHA-256:           " +
                             Digest(payloadBytes) + "\n");

    fs::path extracted = dir / "varnok.exe";
    ASSERT_EQ(Run({"extract", output, extracted}), ExitSuccess) << err.str();
    EXPECT_EQ(Load(extracted), payloadBytes);

    // A file made before the integrity record is still sound.
    Bytes old = packed;
    std::fill(old.begin() + 0x28, old.begin() + 0x30, 0);
    Save(output, old);
    ASSERT_EQ(Run({"inspect", output}), ExitSuccess) << err.str();
    EXPECT_NE(out.str().find("integrity record:          no (a file made without one)\n"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("image SHA-256:             " + Digest(imageBytes)),
              std::string::npos);
    ASSERT_EQ(Run({"extract", output, extracted}), ExitSuccess) << err.str();
    EXPECT_EQ(Load(extracted), payloadBytes);
}

TEST_F(Mkinstaller, SignedInstallersAreCheckedAgainstTheImageAsLinked)
{
    Bytes imageBytes = LinkedImage();
    Bytes payloadBytes = FakeProgram(7001, 5);  // 7001: signing pads the file
    Save(image, imageBytes);
    Save(payload, payloadBytes);
    ASSERT_EQ(Run({"pack", image, payload, output}), ExitSuccess) << err.str();
    Bytes packed = Load(output);
    ASSERT_EQ(Run({"inspect", output}), ExitSuccess) << err.str();
    std::string digestLine = "image SHA-256:             " + Digest(imageBytes) + "\n";
    ASSERT_NE(out.str().find(digestLine), std::string::npos) << out.str();

    Bytes signedFile = Signed(packed);
    uint32_t table = (uint32_t)(packed.size() + 7) / 8 * 8;
    ASSERT_GT(table, packed.size());
    fs::path signedPath = dir / "signed.exe";
    Save(signedPath, signedFile);
    ASSERT_EQ(Run({"inspect", signedPath}), ExitSuccess) << err.str() << out.str();
    EXPECT_NE(out.str().find("signed:                    yes, certificate table at offset " +
                             std::to_string(table) + ", 768 bytes\n"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("offset+length is the end:  yes\n"), std::string::npos);
    EXPECT_NE(out.str().find(digestLine), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("payload SHA-256:           " + Digest(payloadBytes)),
              std::string::npos);
    fs::path extracted = dir / "varnok.exe";
    ASSERT_EQ(Run({"extract", signedPath, extracted}), ExitSuccess) << err.str();
    EXPECT_EQ(Load(extracted), payloadBytes);
    fs::remove(extracted);

    struct Damage {
        const char* what;
        Bytes file;
        std::string says;
    };
    std::vector<Damage> damages;
    damages.push_back({"a payload byte changed", signedFile, "the payload has changed"});
    damages.back().file[0xA00 + 100] ^= 0x10;
    damages.push_back({"a byte after the table", signedFile, "follow the certificate table"});
    damages.back().file.push_back(0);
    damages.push_back({"padding not zero", signedFile, "does not end at the certificate table"});
    damages.back().file[packed.size()] = 1;
    std::set<std::string> before = Listing(dir);
    for (Damage& damage : damages) {
        Save(signedPath, damage.file);
        EXPECT_EQ(Run({"inspect", signedPath}), ExitFailure) << damage.what;
        EXPECT_NE(err.str().find(damage.says), std::string::npos) << damage.what << err.str();
        EXPECT_EQ(Run({"extract", signedPath, extracted}), ExitFailure) << damage.what;
        EXPECT_NE(err.str().find(damage.says), std::string::npos) << damage.what << err.str();
        EXPECT_EQ(Listing(dir), before) << damage.what;
    }
}

TEST_F(Mkinstaller, DamagedFilesAreReportedAndNothingIsExtracted)
{
    Bytes payloadBytes = FakeProgram(5000, 9);
    Save(image, LinkedImage());
    Save(payload, payloadBytes);
    ASSERT_EQ(Run({"pack", image, payload, output}), ExitSuccess) << err.str();
    Bytes packed = Load(output);
    uint32_t crc = Crc32(0, payloadBytes.data(), payloadBytes.size());

    struct Damage {
        const char* what;
        Bytes file;
        std::string says;
    };
    std::vector<Damage> damages;
    damages.push_back({"cut by a byte", Bytes(packed.begin(), packed.end() - 1), "cut short"});
    damages.push_back({"a payload byte changed", packed, "the payload has changed"});
    damages.back().file[0xA00 + 2500] ^= 0x01;
    Bytes changed(damages.back().file.begin() + 0xA00, damages.back().file.end());
    damages.back().says += " or bytes were appended after it: its CRC-32 is " +
                           Hex32(Crc32(0, changed.data(), changed.size())) +
                           ", the integrity record says " + Hex32(crc);
    // (Up to 7 zero bytes appended are what a removed signature leaves.)
    damages.push_back(
        {"a byte appended", packed, "the payload has changed or bytes were appended"});
    damages.back().file.push_back('\n');
    damages.push_back({"no payload", LinkedImage(), "no payload"});
    damages.push_back({"not an installer", Pattern(20, 1), "not an installer: not a PE image"});
    Bytes text = packed;  // a payload that is no program, with a matching record
    std::fill(text.begin() + 0xA00, text.begin() + 0xA02, 'x');
    WriteIntegrityRecord(text.data(), Crc32(0, text.data() + 0xA00, 5000));
    damages.push_back({"not a program", text, "the payload is not a Windows program"});
    damages.push_back({"marker bytes not zero, CRC-32 zero", packed,
                       "the integrity record is damaged: bytes 0x28 to 0x2F are 00 00 00 07 00 00 "
                       "00 00, neither zero nor the marker \"VKR1\" with a CRC-32"});
    std::fill(damages.back().file.begin() + 0x28, damages.back().file.begin() + 0x30, 0);
    damages.back().file[0x2B] = 7;
    damages.push_back({"an uninstaller's record changed", packed, "the payload has changed"});
    WriteIntegrityRecord(damages.back().file.data(), crc, true);
    damages.back().file[0xA00 + 2500] ^= 0x01;

    fs::path damaged = dir / "damaged.exe";
    fs::path extracted = dir / "varnok.exe";
    for (Damage& damage : damages) {
        Save(damaged, damage.file);
        std::set<std::string> before = Listing(dir);
        EXPECT_EQ(Run({"inspect", damaged}), ExitFailure) << damage.what;
        EXPECT_NE(err.str().find("mkinstaller: " + damaged.string() + ": " + damage.says),
                  std::string::npos)
            << damage.what << ": " << err.str();
        EXPECT_EQ(Run({"extract", damaged, extracted}), ExitFailure) << damage.what;
        EXPECT_NE(err.str().find(damaged.string() + ": " + damage.says), std::string::npos)
            << damage.what << ": " << err.str();
        EXPECT_EQ(Listing(dir), before) << damage.what;
    }
    Save(damaged, damages[1].file);
    Run({"inspect", damaged});
    EXPECT_NE(out.str().find("integrity record:          yes, CRC-32 " + Hex32(crc) +
                             ", but the payload's is "),
              std::string::npos)
        << out.str();
    Save(damaged, damages[3].file);
    Run({"inspect", damaged});
    EXPECT_NE(out.str().find("payload SHA-256:           (none)\n"), std::string::npos);

    // A wrong offset field: the installer still takes the file's tail, so
    // extract does too, but inspect reports it.
    Bytes wrongOffset = packed;
    WritePayloadDescriptor(wrongOffset.data(), {0x40, 5000});
    Save(damaged, wrongOffset);
    EXPECT_EQ(Run({"inspect", damaged}), ExitFailure);
    EXPECT_NE(out.str().find("offset is the image end:   no"), std::string::npos) << out.str();
    EXPECT_NE(err.str().find("payloadOffset is 64, but the image ends at 2560"), std::string::npos)
        << err.str();
    ASSERT_EQ(Run({"extract", damaged, extracted}), ExitSuccess) << err.str();
    EXPECT_EQ(Load(extracted), payloadBytes);

    // extract never overwrites the installer it reads.
    EXPECT_EQ(Run({"extract", output, output}), ExitFailure);
    EXPECT_EQ(Load(output), packed);
}

TEST_F(Mkinstaller, EveryRefusalOfPackLeavesNoOutput)
{
    Bytes imageBytes = LinkedImage();
    Save(image, imageBytes);
    Save(payload, FakeProgram(1000, 4));
    Bytes withTrailer = imageBytes;
    withTrailer.push_back(0);
    Save(dir / "trailer.exe", withTrailer);
    Save(dir / "signed.exe", Signed(imageBytes));
    Bytes headerUsed = imageBytes;
    headerUsed[0x3B] = 1;
    Save(dir / "used.exe", headerUsed);
    Save(dir / "text.txt", Pattern(4096, 2));
    Save(dir / "empty.bin", Bytes());
    fs::create_directory(dir / "folder");
    // A program one byte over the limit, sparse: pack must refuse it by its
    // size, before reading it.
    Save(dir / "huge.bin", FakeProgram(4096, 6));
    fs::resize_file(dir / "huge.bin", (uint64_t)LargestPayload + 1);

    struct Refusal {
        std::vector<std::string> args;
        std::string named;  // the file the complaint must name, and how
    } refusals[] = {
        {{"pack", (dir / "missing.exe").string(), payload, output}, "missing.exe: cannot open"},
        {{"pack", image, (dir / "missing.bin").string(), output}, "missing.bin: cannot open"},
        {{"pack", (dir / "folder").string(), payload, output}, "folder: is a directory"},
        {{"pack", image, (dir / "folder").string(), output}, "folder: is a directory"},
        {{"pack", (dir / "trailer.exe").string(), payload, output}, "trailer.exe: 1 bytes follow"},
        {{"pack", (dir / "signed.exe").string(), payload, output},
         "signed.exe: is signed (it has a certificate table of 768 bytes); signing comes after "
         "packing"},
        {{"pack", (dir / "used.exe").string(), payload, output}, "used.exe: the DOS header bytes"},
        {{"pack", (dir / "text.txt").string(), payload, output}, "text.txt: not a PE image"},
        {{"pack", image, (dir / "empty.bin").string(), output}, "empty.bin: is empty"},
        {{"pack", image, (dir / "text.txt").string(), output},
         "text.txt: is not a Windows program"},
        {{"pack", image, (dir / "huge.bin").string(), output},
         "huge.bin: is 536870913 bytes; an installer holds at most 536870912 bytes (512 MiB)"},
        {{"pack", image, payload, (dir / "." / "setup-image.exe").string()},
         "setup-image.exe: is one of the inputs"},
        {{"pack", image, payload, payload}, "payload.bin: is one of the inputs"},
        {{"pack", image, payload, (dir / "nowhere" / "x.exe").string()}, "x.exe: cannot create"},
    };
    std::set<std::string> before = Listing(dir);
    for (Refusal& r : refusals) {
        EXPECT_EQ(Run(r.args), ExitFailure) << r.named;
        EXPECT_NE(err.str().find("mkinstaller: "), std::string::npos);
        EXPECT_NE(err.str().find(r.named), std::string::npos) << err.str();
        EXPECT_EQ(Listing(dir), before) << r.named;
    }
    EXPECT_EQ(Load(image), imageBytes);

    // An existing output survives a refusal unchanged.
    Save(output, Bytes{'o', 'l', 'd'});
    EXPECT_EQ(Run({"pack", image, (dir / "empty.bin").string(), output}), ExitFailure);
    EXPECT_EQ(Load(output), (Bytes{'o', 'l', 'd'}));
}

TEST_F(Mkinstaller, CommandLineFollowsConventions)
{
    EXPECT_EQ(Run({"--help"}), ExitSuccess);
    EXPECT_EQ(out.str().rfind("Usage: mkinstaller pack IMAGE PAYLOAD OUTPUT\n", 0), 0u);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(Run({"--version"}), ExitSuccess);
    EXPECT_EQ(out.str(), "mkinstaller " VARNOK_VERSION " (VARNOK Version 8 Compact)\npublisher: " VARNOK_PUBLISHER "\n");
    EXPECT_EQ(std::string(VARNOK_VERSION).rfind("8.", 0), 0u) << "VARNOK version 8";
    EXPECT_EQ(Run({"pack", "a", "b"}), ExitUsage);
    EXPECT_EQ(Run({"unpack", "a", "b"}), ExitUsage);
    EXPECT_NE(err.str().find("unknown command 'unpack'"), std::string::npos);
    EXPECT_EQ(out.str(), "");

    // The built tool: exit codes and streams as a process.
    auto status = [](const std::string& command) {
        int raw = system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    std::string tool = MKINSTALLER_PATH;
    std::string log = (dir / "log").string();
    EXPECT_EQ(status(tool + " --help >" + log + " 2>/dev/null"), 0);
    EXPECT_NE(Load(log).size(), 0u);
    EXPECT_EQ(status(tool + " --version >" + log + " 2>&1"), 0);
    std::string version = "mkinstaller " VARNOK_VERSION " (VARNOK Version 8 Compact)\npublisher: " VARNOK_PUBLISHER "\n";
    EXPECT_EQ(Load(log), Bytes(version.begin(), version.end()));
    EXPECT_EQ(status(tool + " >/dev/null 2>/dev/null"), 2);
    EXPECT_EQ(status(tool + " inspect " + (dir / "none").string() + " >/dev/null 2>" + log), 1);
    std::string complaint(reinterpret_cast<const char*>(Load(log).data()), Load(log).size());
    EXPECT_NE(complaint.find("none: cannot open"), std::string::npos) << complaint;
}
