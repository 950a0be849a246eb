// mkinstaller: the PE end finder, pack/inspect/extract round trips, and the
// refusals of pack, which must never leave an output behind.

#include <gtest/gtest.h>
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
#include "tools/mkinstaller_commands.h"
#include "tools/pe_image.h"
#include "tools/sha256.h"

namespace fs = std::filesystem;
typedef std::vector<unsigned char> Bytes;

struct Section {
    uint32_t rawPointer, rawSize;
};

static void Put16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = (unsigned char)v;
    b[at + 1] = (unsigned char)(v >> 8);
}
static void Put32(Bytes& b, size_t at, uint32_t v)
{
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// A small PE image: DOS header, "PE" header at 0x80 with an optional header
// of 0xF0 bytes, the section table, and filler bytes up to `fileSize`.
static Bytes FakeImage(const std::vector<Section>& sections, size_t fileSize)
{
    Bytes b(fileSize);
    for (size_t i = 0x40; i < fileSize; ++i)
        b[i] = (unsigned char)(i * 13 + 5);
    for (size_t i = 0; i < 0x40; ++i)
        b[i] = 0;
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x80);
    b[0x80] = 'P', b[0x81] = 'E', b[0x82] = 0, b[0x83] = 0;
    Put16(b, 0x84, 0x8664);
    Put16(b, 0x86, (uint32_t)sections.size());
    Put16(b, 0x80 + 4 + 16, 0xF0);
    size_t table = 0x80 + 24 + 0xF0;
    for (size_t i = 0; i < sections.size(); ++i) {
        Put32(b, table + i * 40 + 16, sections[i].rawSize);
        Put32(b, table + i * 40 + 20, sections[i].rawPointer);
    }
    return b;
}

// Raw data ends at 0xA00, in a section that is not the last in the table.
static Bytes GoodImage()
{
    return FakeImage({{0x600, 0x400}, {0x200, 0x400}, {0, 0}}, 0xA00);
}

static Bytes Pattern(size_t size, unsigned seed)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = (unsigned char)((i * 2654435761u + seed) >> 13);
    return b;
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
    uint64_t end = 0;
    std::string problem;
    ASSERT_TRUE(FindSectionsRawEnd(good.data(), good.size(), end, problem)) << problem;
    EXPECT_EQ(end, 0xA00u);
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
        EXPECT_FALSE(FindSectionsRawEnd(b.bytes.data(), b.bytes.size(), end, problem)) << b.what;
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

TEST_F(Mkinstaller, PackInspectExtractRoundTripByteForByte)
{
    Bytes imageBytes = GoodImage();
    Bytes payloadBytes = Pattern(70001, 3);
    payloadBytes[0] = 'M', payloadBytes[1] = 'Z';
    Save(image, imageBytes);
    Save(payload, payloadBytes);

    ASSERT_EQ(Run({"pack", image, payload, output}), ExitSuccess) << err.str();
    EXPECT_EQ(err.str(), "");
    Bytes packed = Load(output);
    ASSERT_EQ(packed.size(), imageBytes.size() + payloadBytes.size());
    PayloadDescriptor d = ReadPayloadDescriptor(packed.data());
    EXPECT_EQ(d.payloadOffset, 0xA00u);
    EXPECT_EQ(d.payloadLength, 70001u);
    for (size_t i = 0; i < imageBytes.size(); ++i)
        if (i < 0x30 || i >= 0x38)
            ASSERT_EQ(packed[i], imageBytes[i]) << i;
    EXPECT_TRUE(std::equal(payloadBytes.begin(), payloadBytes.end(), packed.begin() + 0xA00));
    EXPECT_EQ(Listing(dir),
              (std::set<std::string>{"setup-image.exe", "payload.bin", "installer.exe"}));

    ASSERT_EQ(Run({"inspect", output}), ExitSuccess) << err.str();
    EXPECT_NE(out.str().find("image size:                2560\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("payloadLength:             70001\n"), std::string::npos);
    EXPECT_NE(out.str().find("file size:                 72561\n"), std::string::npos);
    EXPECT_NE(out.str().find("begins with \"MZ\", but has no PE header"), std::string::npos);
    // The digests match those of the bare image and of the package, which
    // a user can take with sha256sum.
    EXPECT_NE(out.str().find("image SHA-256:             " + Digest(imageBytes) + "\n"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("payload SHA-256:           " + Digest(payloadBytes) + "\n"),
              std::string::npos);

    fs::path extracted = dir / "varnok.exe";
    ASSERT_EQ(Run({"extract", output, extracted}), ExitSuccess) << err.str();
    EXPECT_EQ(Load(extracted), payloadBytes);

    // Packing onto an existing output replaces it; an empty payload packs
    // and extracts as empty.
    Save(payload, Bytes());
    ASSERT_EQ(Run({"pack", image, payload, output}), ExitSuccess) << err.str();
    EXPECT_EQ(Load(output).size(), 0xA00u);
    ASSERT_EQ(Run({"inspect", output}), ExitSuccess) << out.str();
    EXPECT_NE(out.str().find("image SHA-256:             " + Digest(imageBytes)), std::string::npos);
    EXPECT_NE(out.str().find("payload SHA-256:           " + Digest(Bytes())), std::string::npos);
    ASSERT_EQ(Run({"extract", output, extracted}), ExitSuccess);
    EXPECT_TRUE(fs::exists(extracted));
    EXPECT_EQ(fs::file_size(extracted), 0u);
}

TEST_F(Mkinstaller, InspectFailsAndExtractCutsLikeTheInstallerWhenTheLayoutIsBroken)
{
    Save(image, GoodImage());
    Save(payload, Pattern(5000, 9));
    ASSERT_EQ(Run({"pack", image, payload, output}), ExitSuccess) << err.str();
    Bytes packed = Load(output);

    // A wrong offset field: the invariant breaks, the cut does not move.
    Bytes wrongOffset = packed;
    WritePayloadDescriptor(wrongOffset.data(), {0x40, 5000});
    Save(output, wrongOffset);
    EXPECT_EQ(Run({"inspect", output}), ExitFailure);
    EXPECT_NE(out.str().find("offset is the image end:   no"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("offset+length is the size: no"), std::string::npos);

    // Bytes appended after the payload: the cut takes the file's tail.
    Bytes appended = packed;
    appended.insert(appended.end(), {1, 2, 3});
    Save(output, appended);
    EXPECT_EQ(Run({"inspect", output}), ExitFailure);
    EXPECT_NE(out.str().find("offset is the image end:   yes"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("offset+length is the size: no"), std::string::npos);
    Bytes tail(appended.end() - 5000, appended.end());
    EXPECT_NE(out.str().find("payload SHA-256:           " + Digest(tail)), std::string::npos);
    ASSERT_EQ(Run({"extract", output, dir / "b"}), ExitSuccess);
    EXPECT_EQ(Load(dir / "b"), Bytes(appended.end() - 5000, appended.end()));

    // Not an installer at all.
    Save(output, Pattern(300, 1));
    EXPECT_EQ(Run({"inspect", output}), ExitFailure);
    EXPECT_NE(err.str().find(output.string() + ": not a PE image"), std::string::npos) << err.str();

    // extract never overwrites the installer it reads.
    Save(output, packed);
    EXPECT_EQ(Run({"extract", output, output}), ExitFailure);
    EXPECT_EQ(Load(output), packed);
}

TEST_F(Mkinstaller, EveryRefusalOfPackLeavesNoOutput)
{
    Bytes imageBytes = GoodImage();
    Save(image, imageBytes);
    Save(payload, Pattern(1000, 4));
    Bytes withTrailer = imageBytes;
    withTrailer.push_back(0);
    Save(dir / "signed.exe", withTrailer);
    Bytes headerUsed = imageBytes;
    headerUsed[0x3B] = 1;
    Save(dir / "used.exe", headerUsed);
    Save(dir / "text.txt", Pattern(4096, 2));
    fs::create_directory(dir / "folder");
    // A payload whose installer would not fit the 32-bit fields (sparse).
    std::ofstream(dir / "huge.bin").close();
    fs::resize_file(dir / "huge.bin", 0x100000000ull - imageBytes.size());

    struct Refusal {
        std::vector<std::string> args;
        std::string named;  // the file the complaint must name
    } refusals[] = {
        {{"pack", (dir / "missing.exe").string(), payload, output}, "missing.exe: cannot open"},
        {{"pack", image, (dir / "missing.bin").string(), output}, "missing.bin: cannot open"},
        {{"pack", (dir / "folder").string(), payload, output}, "folder: is a directory"},
        {{"pack", image, (dir / "folder").string(), output}, "folder: is a directory"},
        {{"pack", (dir / "signed.exe").string(), payload, output}, "signed.exe: 1 bytes follow"},
        {{"pack", (dir / "used.exe").string(), payload, output}, "used.exe: the DOS header bytes"},
        {{"pack", (dir / "text.txt").string(), payload, output}, "text.txt: not a PE image"},
        {{"pack", image, (dir / "huge.bin").string(), output},
         "installer.exe: the installer would be 4294967296"},
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
    EXPECT_EQ(Run({"pack", (dir / "signed.exe").string(), payload, output}), ExitFailure);
    EXPECT_EQ(Load(output), (Bytes{'o', 'l', 'd'}));
}

TEST_F(Mkinstaller, CommandLineFollowsConventions)
{
    EXPECT_EQ(Run({"--help"}), ExitSuccess);
    EXPECT_EQ(out.str().rfind("Usage: mkinstaller pack IMAGE PAYLOAD OUTPUT\n", 0), 0u);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(Run({"--version"}), ExitSuccess);
    EXPECT_EQ(out.str(), "mkinstaller " VARNOK_VERSION "\n");
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
    std::string version = "mkinstaller " VARNOK_VERSION "\n";
    EXPECT_EQ(Load(log), Bytes(version.begin(), version.end()));
    EXPECT_EQ(status(tool + " >/dev/null 2>/dev/null"), 2);
    EXPECT_EQ(status(tool + " inspect " + (dir / "none").string() + " >/dev/null 2>" + log), 1);
    std::string complaint(reinterpret_cast<const char*>(Load(log).data()), Load(log).size());
    EXPECT_NE(complaint.find("none: cannot open"), std::string::npos) << complaint;
}
