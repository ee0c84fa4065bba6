#include "storage/CalibrationFile.h"
#include "storage/FileSystem.h"
#include "storage/LimitsFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace storage {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::string Utf8(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

std::optional<Bytes> ReadNative(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteNative(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> Listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(Utf8(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

const Bytes OLD_CONTENT = {'o', 'l', 'd', '\r', '\n', 0x00, 0xFF};

// A fresh "velsor" folder under the system's temporary folder, removed
// afterwards (read-only files included).
class RealFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("quelmar-storage-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        velsor_ = root_ / "velsor";
        ASSERT_TRUE(fs::create_directories(velsor_));
    }
    void TearDown() override {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(root_, ec))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root_, ec);
    }

    FileSystem& files_ = RealFileSystem();
    fs::path root_;
    fs::path velsor_;
};

TEST_F(RealFileSystemTest, ReplaceWritesTheWholeFileAndLeavesNoTemporary) {
    const fs::path target = velsor_ / "turno.est";
    ASSERT_TRUE(files_.ReplaceFile(Utf8(target), Bytes{1, 2, 3, 0, 255}));
    EXPECT_EQ(ReadNative(target), (Bytes{1, 2, 3, 0, 255}));
    WriteNative(target, Bytes(5000, 'x'));
    ASSERT_TRUE(files_.ReplaceFile(Utf8(target), Bytes{'n'}));
    EXPECT_EQ(ReadNative(target), Bytes{'n'});
    ASSERT_TRUE(files_.ReplaceFile(Utf8(target), {}));
    EXPECT_EQ(ReadNative(target), Bytes{});
    EXPECT_EQ(Listing(velsor_), std::vector<std::string>{"turno.est"});
}

TEST_F(RealFileSystemTest, FailedReplaceLeavesEverythingAsItWas) {
    // A missing folder (never created), a folder in the file's place, a read-only file.
    ASSERT_TRUE(fs::create_directory(velsor_ / "carpeta.lim"));
    WriteNative(velsor_ / "carpeta.lim" / "dentro", OLD_CONTENT);
    WriteNative(velsor_ / "usb.ini", OLD_CONTENT);
    fs::permissions(velsor_ / "usb.ini", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    for (const char* name : {"falta/a.lim", "carpeta.lim", "usb.ini"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(files_.ReplaceFile(Utf8(velsor_) + "/" + name, Bytes(20, 0)));
        EXPECT_EQ(Listing(velsor_), (std::vector<std::string>{"carpeta.lim", "usb.ini"}));
    }
    EXPECT_EQ(ReadNative(velsor_ / "carpeta.lim" / "dentro"), OLD_CONTENT);
    EXPECT_EQ(ReadNative(velsor_ / "usb.ini"), OLD_CONTENT);
    EXPECT_EQ(files_.ReadFile(Utf8(velsor_ / "carpeta.lim"), 100), std::nullopt);
}

TEST_F(RealFileSystemTest, ReadFileGivesAtMostMaxBytes) {
    const fs::path target = velsor_ / "datos.bin";
    Bytes big(100000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    WriteNative(target, big);
    EXPECT_EQ(files_.ReadFile(Utf8(target), big.size() + 1), big);
    EXPECT_EQ(files_.ReadFile(Utf8(target), 20), Bytes(big.begin(), big.begin() + 20));
    EXPECT_EQ(files_.ReadFile(Utf8(target), 0), Bytes{});
    WriteNative(velsor_ / "vacio", {});
    EXPECT_EQ(files_.ReadFile(Utf8(velsor_ / "vacio"), 16), Bytes{});
    EXPECT_EQ(files_.ReadFile(Utf8(velsor_ / "no-existe"), 16), std::nullopt);
}

TEST_F(RealFileSystemTest, NonAsciiNamesAreUtf8) {
    const std::string name = "L\xC3\xADmites a\xC3\xB1o.lim";
    const std::array<std::int16_t, 8> limits = {0, 100, 150, 200, 250, 300, 350, 400};
    ASSERT_TRUE(WriteLimitsFile(files_, Utf8(velsor_) + "/" + name, limits));
    EXPECT_EQ(Listing(velsor_), std::vector<std::string>{name});
    std::array<std::int16_t, 8> back{};
    ASSERT_TRUE(ReadLimitsFile(files_, Utf8(velsor_) + "/" + name, back));
    EXPECT_EQ(back, limits);
}

#ifndef _WIN32

// Sets or clears an environment variable for one scope and puts it back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnvironment() { old_ ? setenv(name_.c_str(), old_->c_str(), 1) : unsetenv(name_.c_str()); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

TEST(MapPathTest, DriveCPathsMoveUnderTheRootOthersAreUnchanged) {
    for (const char* root : {"/srv/drive", "/srv/drive/"}) {
        ScopedEnvironment drive("QUELMAR_DRIVE_C", root);
        EXPECT_EQ(MapPath("c:\\velsor\\usb.ini"), "/srv/drive/velsor/usb.ini") << root;
    }
    ScopedEnvironment drive("QUELMAR_DRIVE_C", "/srv/drive");
    EXPECT_EQ(MapPath("C:\\velsor\\"), "/srv/drive/velsor/");
    EXPECT_EQ(MapPath("c:/velsor/a b.lim"), "/srv/drive/velsor/a b.lim");
    EXPECT_EQ(MapPath("C:/velsor\\mixto.est"), "/srv/drive/velsor/mixto.est");
    EXPECT_EQ(MapPath("c:\\"), "/srv/drive/");
    for (const char* path : {"/home/ana/turno.est", "relativo\\con\\barras.lim", "d:\\velsor\\usb.ini",
                             "c:", "c:velsor", "\\\\servidor\\velsor\\a.lim", "", "cc:\\x", "/tmp/c:\\x"})
        EXPECT_EQ(MapPath(path), path);
}

TEST(DriveCRootTest, ChoosesTheFirstAvailableFolder) {
    ScopedEnvironment home("HOME", "/home/ana");
    const struct {
        const char* drive;
        const char* xdg;
        const char* root;
    } cases[] = {
        {"/datos/c", "/xdg", "/datos/c"},
        {"", "/xdg", "/xdg/quelmar/drive_c"},
        {nullptr, "", "/home/ana/.local/share/quelmar/drive_c"},
        {nullptr, "relativo", "/home/ana/.local/share/quelmar/drive_c"},
    };
    for (const auto& c : cases) {
        ScopedEnvironment drive("QUELMAR_DRIVE_C", c.drive);
        ScopedEnvironment xdg("XDG_DATA_HOME", c.xdg);
        EXPECT_EQ(DriveCRoot(), c.root);
        EXPECT_EQ(MapPath("c:\\velsor\\usb.ini"), std::string(c.root) + "/velsor/usb.ini");
    }
}

TEST_F(RealFileSystemTest, MissingDriveFolderIsNeverCreated) {
    const fs::path absent = root_ / "sin-crear";
    ScopedEnvironment drive("QUELMAR_DRIVE_C", Utf8(absent).c_str());
    CalibrationData out;
    EXPECT_EQ(LoadCalibrationFile(files_, out), CalibrationLoad::Missing);
    EXPECT_FALSE(SaveCalibrationFile(files_, CalibrationData{1.0f, {}}));
    EXPECT_FALSE(fs::exists(absent));
}

#else

TEST(MapPathTest, WindowsPathsAreUnchanged) {
    for (const char* path : {"c:\\velsor\\usb.ini", "C:/velsor/a.lim", "d:\\x", "relativo\\a.lim"})
        EXPECT_EQ(MapPath(path), path);
}

#endif

}  // namespace
}  // namespace storage
