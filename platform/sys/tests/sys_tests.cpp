// The system layer: encodings, the case-insensitive resolver, reads, listings, the writer, the string table.
#include "sys.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

TEST(Text, AnsiIsWindows1252) {
    std::string ansi;
    ASSERT_TRUE(Utf8ToAnsi("K\xC3\xB6ln \xE2\x82\xAC \xC5\xA0", ansi));
    EXPECT_EQ(ansi, "K\xF6ln \x80 \x8A");
    EXPECT_EQ(AnsiToUtf8(ansi), "K\xC3\xB6ln \xE2\x82\xAC \xC5\xA0");
    // Every byte survives the round trip, the five that Windows-1252 leaves undefined included.
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    ASSERT_TRUE(Utf8ToAnsi(AnsiToUtf8(all), ansi));
    EXPECT_EQ(ansi, all);
    EXPECT_FALSE(Utf8ToAnsi("\xE5\x90\x8D", ansi)); // no 8-bit form
    EXPECT_FALSE(Utf8ToAnsi("\xFF", ansi));         // no UTF-8
    EXPECT_EQ(Latin1ToUtf8("\x80\xFF"), "\xC2\x80\xC3\xBF");
}

TEST(Files, ResolverFindsPathsWithoutRegardToCase) {
    ScratchDir dir;
    std::filesystem::create_directories(dir.path + "Scenes/XFiles");
    std::filesystem::create_directories(dir.path + "Scenes/Textures");
    dir.write("Scenes/XFiles/Loco.x", "x");
    dir.write("Scenes/Textures/WAGON_01.dds", "d");
    dir.write("Scenes/Textures/b.DDS", "");
    dir.write("Scenes/Textures/B.dds", "");
    EXPECT_EQ(DiskPath(dir.path + "scenes\\xfiles\\LOCO.X"), dir.path + "Scenes/XFiles/Loco.x");
    EXPECT_TRUE(FileExists(dir.path + "SCENES\\XFILES\\loco.x"));
    // Two spellings of one name: the first in byte order is taken ("B.dds" < "b.DDS").
    EXPECT_EQ(DiskPath(dir.path + "SCENES/TEXTURES/B.DDS"), dir.path + "Scenes/Textures/B.dds");
    // What does not exist is kept as written from there on.
    EXPECT_EQ(DiskPath(dir.path + "scenes\\xfiles\\NEW\\a.x"), dir.path + "Scenes/XFiles/NEW/a.x");
    // Relative paths resolve against the current directory.
    ASSERT_TRUE(SetCurrentDir(dir.path + "SCENES\\XFILES"));
    EXPECT_EQ(GetCurrentDir() + "/", dir.path + "Scenes/XFiles/");
    EXPECT_TRUE(FileExists("..\\..\\scenes\\textures\\wagon_01.DDS"));
    EXPECT_EQ(ReadWholeFile("LOCO.x").bytes, std::vector<std::uint8_t>{'x'});
    // Latin-1 letters fold too; names on disk are UTF-8.
    dir.write("K\xC3\x96LN.xli", "k");
    EXPECT_TRUE(FileExists(dir.path + "k\xF6ln.xli"));
}

TEST(Files, ReadFailuresAreTold) {
    ScratchDir dir;
    std::filesystem::create_directories(dir.path + "folder");
    EXPECT_EQ(ReadWholeFile(dir.path + "missing.xli").failure, ReadFailure::FileNotFound);
    EXPECT_EQ(ReadWholeFile(dir.path + "nodir/missing.xli").failure, ReadFailure::DirectoryNotFound);
    EXPECT_EQ(ReadWholeFile(dir.path + "folder").failure, ReadFailure::IsDirectory);
    const ReadResult r = ReadWholeFile(dir.path + "missing.xli");
    EXPECT_EQ(r.reason, "No such file or directory");
}

TEST(Files, ListingIsSortedWithoutRegardToCase) {
    ScratchDir dir;
    for (const char* n : {"b.xli", "A.xli", "a.xli", "C.XLI", "d.txt"}) dir.write(n, "");
    std::filesystem::create_directories(dir.path + "e.xli");
    std::vector<std::string> names;
    ASSERT_TRUE(ListFiles(dir.path, ".xli", names));
    EXPECT_EQ(names, (std::vector<std::string>{"A.xli", "a.xli", "b.xli", "C.XLI"}));
    EXPECT_FALSE(ListFiles(dir.path + "nowhere", ".xli", names));
}

TEST(Files, AtomicWriteNeverReplacesWhenAskedAndLeavesNoTemporaryFile) {
    ScratchDir dir;
    EXPECT_EQ(WriteFileAtomic(dir.path + "a.txt", "one", true), "");
    EXPECT_EQ(dir.read("a.txt"), "one");
    EXPECT_EQ(WriteFileAtomic(dir.path + "A.TXT", "two", true), "File exists");
    EXPECT_EQ(dir.read("a.txt"), "one");
    EXPECT_EQ(WriteFileAtomic(dir.path + "a.txt", "three", false), "");
    EXPECT_EQ(dir.read("a.txt"), "three");
    EXPECT_EQ(WriteFileAtomic(dir.path + "no/such/b.txt", "x", true), "No such file or directory");
    std::vector<std::string> names;
    ListFiles(dir.path, "", names);
    EXPECT_EQ(names, std::vector<std::string>{"a.txt"});
    struct stat st {};
    ASSERT_EQ(stat((dir.path + "a.txt").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0044, 0u) << "a written file is readable like any other new file";
}

TEST(Strings, TableInThreeLanguages) {
    struct Row {
        UiLanguage language;
        unsigned id;
        const char* text;
    } rows[] = {
        {UiLanguage::English, 40017, "X-file not found!"},
        {UiLanguage::German, 40017, "X-Datei nicht gefunden!"},
        {UiLanguage::Portuguese, 40017, "N\xE3o encontrado X-arquivo!"},
        {UiLanguage::German, 40001, "Bitte w\xE4hlen Sie ein Vek Verzeichnis aus!"},
        {UiLanguage::English, 40024, "File already exists!\nPlease use another name."},
        {UiLanguage::English, 12345, ""},
    };
    for (const Row& r : rows) {
        SetUiLanguage(r.language);
        EXPECT_EQ(LoadStringA(r.id), r.text) << r.id;
    }
    // Every text fits the 100-character buffers of its readers.
    for (UiLanguage l : {UiLanguage::German, UiLanguage::English, UiLanguage::Portuguese}) {
        SetUiLanguage(l);
        EXPECT_EQ(LoadStringA(40023).size(), l == UiLanguage::Portuguese ? 99u : LoadStringA(40023).size());
    }
    SetUiLanguage(UiLanguage::English);
}

TEST(Messages, RecorderCatchesWhatIsShown) {
    MessageRecorder rec;
    ShowMessage("text", "caption", MsgIcon::Stop);
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].caption, "caption");
    EXPECT_STREQ(MsgIconName(rec.messages[0].icon), "stop");
}
