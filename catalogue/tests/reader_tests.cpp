// Reading XLI files into records, and loading a whole directory.
#include "catalogue.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct ReadOutcome {
    xlimodels record;
    std::int32_t result = 0;
    std::vector<Message> messages;
};

ReadOutcome ReadText(const std::string& text, std::size_t room = 8, const std::string& name = "test.xli") {
    ReadOutcome o;
    o.record.xliFile = name;
    o.record.NumModels = static_cast<std::int32_t>(room);
    o.record.Models.resize(room);
    MessageRecorder rec;
    o.result = IniXLIModelsFromMemory(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), o.record);
    o.messages = rec.messages;
    return o;
}

// The worked example of the file format: abc.xli with a locomotive and a hut.
const std::string kExample = "888260\r\n2\r\n"
                             "ENGINE_TYPE\t4711\tloco.x\t1.5\tDemo_Loco\r\n\tDemo_Ref\r\n\t0\r\n\t120\r\n\t8\r\n\t810640\r\n"
                             "HOUSE_TYPE\t4712\thut.x\t0.25\tDemo_Hut\r\n\thut1.bmp\r\n\thut2.bmp\r\n\t200\r\n\t100\r\n"
                             "\t709327\r\n";

void ExpectExampleEntries(const xlimodels& r) {
    const xlimodel& loco = r.Models[0];
    EXPECT_FALSE(loco.isObject);
    EXPECT_EQ(loco.VekType, "ENGINE_TYPE");
    EXPECT_EQ(loco.ID, 4711);
    EXPECT_EQ(loco.XFile, "loco.x");
    EXPECT_EQ(loco.Scale, 1.5f);
    EXPECT_EQ(loco.DispName, "Demo_Loco");
    EXPECT_EQ(loco.RefModel, "Demo_Ref");
    EXPECT_EQ(loco.NotUsed, 0.0f);
    EXPECT_EQ(loco.MaxSpeed, 120);
    EXPECT_EQ(loco.MaxWagons, 8);
    EXPECT_EQ(loco.Checksum, 810640);
    const xlimodel& hut = r.Models[1];
    EXPECT_TRUE(hut.isObject);
    EXPECT_EQ(hut.ID, 4712);
    EXPECT_EQ(hut.Scale, 0.25f);
    EXPECT_EQ(hut.TexturePath1, "hut1.bmp");
    EXPECT_EQ(hut.TexturePath2, "hut2.bmp");
    EXPECT_EQ(hut.RGBValue1, "200");
    EXPECT_EQ(hut.RGBValue2, "100");
    EXPECT_EQ(hut.Checksum, 709327);
    EXPECT_EQ(hut.xliFile, r.xliFile);
}

} // namespace

TEST(Reader, ReadsTheWorkedExampleInAnyLayoutAndEncoding) {
    std::string oneLine = kExample;
    for (char& c : oneLine) {
        if (c == '\t' || c == '\n') c = ' ';
    }
    oneLine.erase(std::remove(oneLine.begin(), oneLine.end(), '\r'), oneLine.end());
    for (const std::string& text : {kExample, oneLine, "\xEF\xBB\xBF" + kExample}) {
        const ReadOutcome o = ReadText(text, 2, "abc.xli");
        EXPECT_EQ(o.result, 2);
        EXPECT_TRUE(o.messages.empty());
        EXPECT_EQ(o.record.Header[0], 888260);
        EXPECT_EQ(o.record.Header[1], 2);
        ExpectExampleEntries(o.record);
    }
}

TEST(Reader, EdgeCasesOfEntries) {
    struct Row {
        const char* name;
        std::string text;
        std::int32_t result;
        const char* message; // nullptr: no message
    } rows[] = {
        {"empty file", "", 0, nullptr},
        {"header only", "1 0", 0, nullptr},
        {"no header", "ENGINE_TYPE 1 a.x 1 Name r 0 1 1 5", 0, ""},
        {"three header numbers", "1 2 3 HOUSE_TYPE 1 a.x 1 Name t1 t2 r1 r2 5", 1, nullptr},
        {"lower-case type word opens nothing", "1 1 engine_type 1 a.x 1 Name r 0 1 1 5", 0, nullptr},
        {"remarks between entries", "1 2 HOUSE_TYPE 1 a.x 1 Nm t t r r 5 ; remark 17 HOUSE_TYPE 2 b.x 1 Nm t t r r 6", 2,
         nullptr},
        {"cut short", "1 2 HOUSE_TYPE 1 a.x 1 Nm t t r r 5 HOUSE_TYPE 2 b.x", 1, nullptr},
        {"ID 0 then malformed scale in the third entry",
         "1 3 HOUSE_TYPE 0 a.x 1 Nm t t r r 5 HOUSE_TYPE 2 b.x 1 Nm t t r r 6 HOUSE_TYPE 3 c.x 1;5 Nm t t r r 7", 2,
         "No ID in: test.xli"},
        {"object turned vehicle at its seventh token",
         "1 1 HOUSE_TYPE 1 a.x 1 Nm t ENGINE_TYPE r r 5", 0, ""},
        {"malformed checksum after a short XFile", "1 1 HOUSE_TYPE 1 a 1 Nm t t r r x5", 0, "No XFile in: test.xli"},
        {"short VekType is the latest warning", "1 1 A_TYPE HOUSE_TYPE 1 a.x 0 Nm t t r r 5 PLANT_TYPE 1 a.x 1 Nm t t r r z",
         1, "No Scale in: test.xli"},
        {"malformed ID", "1 1 ENGINE_TYPE 12a a.x 1 Nm r 0 1 1 5", 0, ""},
        {"NotUsed out of range", "1 1 ENGINE_TYPE 1 a.x 1 Nm r 1e39 1 1 5", 0, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const ReadOutcome o = ReadText(r.text);
        EXPECT_EQ(o.result, r.result);
        if (!r.message) {
            EXPECT_TRUE(o.messages.empty());
        } else {
            ASSERT_EQ(o.messages.size(), 1u);
            EXPECT_EQ(o.messages[0].caption, "Problem reading file!");
            EXPECT_EQ(o.messages[0].text, r.message);
            EXPECT_EQ(o.messages[0].icon, MsgIcon::Exclamation);
        }
    }
}

TEST(Reader, HeaderStaysUnsetWhenNothingIsRead) {
    EXPECT_FALSE(ReadText("").record.HeaderSet[0]);
    EXPECT_FALSE(ReadText("\xEF\xBB\xBF").record.HeaderSet[0]);
    const ReadOutcome bad = ReadText("x 1");
    EXPECT_FALSE(bad.record.HeaderSet[0]);
    const ReadOutcome one = ReadText("7");
    EXPECT_TRUE(one.record.HeaderSet[0]);
    EXPECT_FALSE(one.record.HeaderSet[1]);
}

TEST(Reader, FieldConversions) {
    // A one-character display name and a Euro-sign display name both give way to the X-file name; the warning is
    // kept but not shown, since the file reads to its end.
    const ReadOutcome o = ReadText("1 2 HOUSE_TYPE 1 a.x 0,5 N t t r r 5 HOUSE_TYPE 2 b.x 0.5 \xE2\x82\xAC t t r r 6");
    EXPECT_EQ(o.result, 2);
    EXPECT_TRUE(o.messages.empty());
    EXPECT_EQ(o.record.Models[0].DispName, "a.x");
    EXPECT_EQ(o.record.Models[1].DispName, "b.x");
    EXPECT_EQ(o.record.Models[0].Scale, 0.5f);
    EXPECT_EQ(o.record.Models[1].Scale, 0.5f);

    // A file in an 8-bit code page: the lone byte 0xF6 is no UTF-8, so the name is lost and replaced.
    const ReadOutcome k = ReadText("1 1 HOUSE_TYPE 1 koeln.x 1 K\xF6ln_Hbf t t r r 5");
    EXPECT_EQ(k.record.Models[0].DispName, "koeln.x");
    // The same name in UTF-8 arrives as its 8-bit bytes.
    const ReadOutcome u = ReadText("1 1 HOUSE_TYPE 1 koeln.x 1 K\xC3\xB6ln_Hbf t t r r 5");
    EXPECT_EQ(u.record.Models[0].DispName, "K\xF6ln_Hbf");

    // The long display-name warning is cut to the message buffer's 259 characters.
    const std::string longX(400, 'x');
    const ReadOutcome w = ReadText("1 1 HOUSE_TYPE 1 " + longX + " 1 N t t r r bad");
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].text.size(), 259u);
    EXPECT_EQ(w.messages[0].text.rfind("No DispName in: test.xli\nUsing the X-filename xxx", 0), 0u);
}

TEST(Reader, ClassChangesInsideAnEntry) {
    // A vehicle whose sixth token holds an object word becomes an object at that token.
    const ReadOutcome v = ReadText("1 1 ENGINE_TYPE 1 a.x 1 Nm XHOUSE_TYPE 2.5 7 8 99");
    ASSERT_EQ(v.result, 1);
    const xlimodel& m = v.record.Models[0];
    EXPECT_TRUE(m.isObject);
    EXPECT_EQ(m.VekType, "ENGINE_TYPE");
    EXPECT_EQ(m.TexturePath1, "XHOUSE_TYPE");
    EXPECT_EQ(m.TexturePath2, "2.5");
    EXPECT_EQ(m.RGBValue1, "7");
    EXPECT_EQ(m.RGBValue2, "8");
    EXPECT_EQ(m.RefModel, "");
    // A vehicle whose RefModel holds SIGN_TYPE: the same.
    EXPECT_TRUE(ReadText("1 1 CWAGON_TYPE 1 a.x 1 Nm SIGN_TYPE_REF a b c 5").record.Models[0].isObject);
}

TEST(Reader, EntriesBeyondTheRoomAreReadButNotStored) {
    // Two entries on one line: the counting pass gives room for one.
    const std::string twoOnOneLine = "1 2\nHOUSE_TYPE 1 a.x 1 Nm t t r r 5 HOUSE_TYPE 2 b.x 1 Nm t t r r 6\n";
    const ReadOutcome o = ReadText(twoOnOneLine, 1);
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.record.Models.size(), 1u);
    EXPECT_EQ(o.record.Models[0].ID, 1);
    EXPECT_TRUE(o.messages.empty());
    // A malformed number in the surplus still fails the file.
    const ReadOutcome bad = ReadText("1 2 HOUSE_TYPE 1 a.x 1 Nm t t r r 5 HOUSE_TYPE 0 b.x 1 Nm t t r r x", 1);
    EXPECT_EQ(bad.result, 1);
    ASSERT_EQ(bad.messages.size(), 1u);
    EXPECT_EQ(bad.messages[0].text, "No ID in: test.xli");
    // No room at all.
    EXPECT_EQ(ReadText("1 1 HOUSE_TYPE 1 a.x 1 Nm t t r r 5", 0).result, 0);
}

TEST(Reader, TruncatedInputNeverBreaksTheReader) {
    for (std::size_t len = 0; len <= kExample.size(); ++len) {
        const ReadOutcome o = ReadText(kExample.substr(0, len), 2, "abc.xli");
        EXPECT_LE(o.result, 2);
    }
}

TEST(Reader, ReportsFilesThatCannotBeRead) {
    ScratchDir dir;
    dir.write("good.xli", kExample);
    ::mkdir((dir.path + "folder.xli").c_str(), 0755);
    struct Row {
        std::string file, directory, text, caption;
        MsgIcon icon;
    } rows[] = {
        {"gone.xli", dir.path, "Could not locate: gone.xli!", "Not found", MsgIcon::Stop},
        {"missing/x.xli", dir.path, "DirectoryNotFoundException", "Not found", MsgIcon::Stop},
        {"folder.xli", dir.path, "", "Problem reading file!", MsgIcon::Exclamation},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.file);
        xlimodels rec;
        rec.xliFile = r.file;
        MessageRecorder recorder;
        EXPECT_EQ(IniXLIModelsFromFile(r.file, rec, r.directory), 0);
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].text, r.text);
        EXPECT_EQ(recorder.messages[0].caption, r.caption);
        EXPECT_EQ(recorder.messages[0].icon, r.icon);
    }
    // A good file, named in another letter case, read with the game directory made current.
    xlimodels rec;
    rec.xliFile = "good.xli";
    rec.Models.resize(2);
    EXPECT_EQ(IniXLIModelsFromFile("GOOD.XLI", rec, dir.path), 2);
    EXPECT_EQ(GetCurrentDir() + "/", dir.path);
}

TEST(Counting, LinesWithTypeWordsInAnyCase) {
    struct Row {
        const char* name;
        std::string text;
        std::int32_t vehicles, objects;
    } rows[] = {
        {"example", kExample, 1, 1},
        {"both words on one line", "1 2\nENGINE_TYPE HOUSE_TYPE\n", 1, 1},
        {"two vehicle words count once", "ENGINE_TYPE CWAGON_TYPE\n", 1, 0},
        {"lower and mixed case", "engine_type\nHouse_Type\n", 1, 1},
        {"dotless i and long s", "\xC4\xB1ndustry_type\n\xC5\xBFign_type\n", 0, 2},
        {"CR, LF and CR LF end lines", "ENGINE_TYPE\rENGINE_TYPE\nENGINE_TYPE\r\nENGINE_TYPE", 4, 0},
        {"a word split by a line end", "ENGINE_\nTYPE", 0, 0},
        {"UTF-16", std::string("\xFF\xFE" "E\0N\0G\0I\0N\0E\0_\0T\0Y\0P\0E\0", 24), 1, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::int32_t v = -1, o = -1;
        CountVekTypesInMemory(reinterpret_cast<const std::uint8_t*>(r.text.data()), r.text.size(), v, o);
        EXPECT_EQ(v, r.vehicles);
        EXPECT_EQ(o, r.objects);
    }
}

TEST(Loading, BuildsOneRecordPerXliFileInNameOrder) {
    ScratchDir dir;
    dir.write("zeta.xli", "1 1\nHOUSE_TYPE 7 z.x 1 Zeta t t r r 5\n");
    dir.write("Alpha.xli", "1 2\nENGINE_TYPE 7 a.x 1 Alpha r 0 1 1 5\nhouse_type lower case is counted only\n");
    dir.write("beta.xli", "1 2\nHOUSE_TYPE 8 b.x 1 Beta t t r r 5\nHOUSE_TYPE 9 c.x\n");
    dir.write("Models.XLI", "1 1\nHOUSE_TYPE 10 m.x 1 Upper t t r r 5\n");
    dir.write("extra.xli.bak", "1 1\nHOUSE_TYPE 11 e.x 1 Bak t t r r 5\n");
    dir.write("old.models.xli", "1 1\nHOUSE_TYPE 12 o.x 1 Old t t r r 5\n");

    EXPECT_EQ(CountXLIFiles(dir.path), 4);
    std::int32_t numObjects = 99;
    std::vector<std::int32_t> stored;
    MessageRecorder recorder;
    const Catalogue c = IniXLIModelsStruct(dir.path, numObjects, &stored);
    EXPECT_TRUE(recorder.messages.empty());
    ASSERT_EQ(c.size(), 4u);
    const char* names[] = {"Alpha.xli", "beta.xli", "old.models.xli", "zeta.xli"};
    const std::int32_t counted[] = {2, 2, 1, 1};
    const std::int32_t read[] = {1, 1, 1, 1};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(c[i].xliFile, names[i]);
        EXPECT_EQ(c[i].NumXLI, 4);
        EXPECT_EQ(c[i].NumModels, counted[i]);
        EXPECT_EQ(c[i].Models.size(), static_cast<std::size_t>(counted[i]));
        EXPECT_EQ(stored[i], read[i]);
    }
    EXPECT_EQ(numObjects, 6);
    EXPECT_EQ(GetCurrentDir() + "/", dir.path);

    // The same ID in two files resolves to the file first in order; unset entries hold ID 0 and are found too.
    ASSERT_NE(GetModelByID(c, 7), nullptr);
    EXPECT_EQ(GetModelByID(c, 7)->xliFile, "Alpha.xli");
    EXPECT_EQ(GetModelByID(c, 12)->DispName, "Old");
    ASSERT_NE(GetModelByID(c, 0), nullptr);
    EXPECT_EQ(GetModelByID(c, 0)->XFile, "");
    EXPECT_EQ(GetModelByID(c, 4242), nullptr);
    EXPECT_EQ(GetModelByID(Catalogue(), 7), nullptr);
}

TEST(Loading, DirectoryWithoutXliFilesKeepsNumObjects) {
    ScratchDir dir;
    dir.write("readme.txt", "ENGINE_TYPE");
    std::int32_t numObjects = 17;
    const Catalogue c = IniXLIModelsStruct(dir.path, numObjects);
    EXPECT_TRUE(c.empty());
    EXPECT_EQ(GetNumXLI(c), 0);
    EXPECT_EQ(numObjects, 17);
}

TEST(Loading, AFileThatVanishesIsReportedThreeTimesAndLoadingGoesOn) {
    ScratchDir dir;
    dir.write("b.xli", "1 1\nHOUSE_TYPE 1 b.x 1 Bee t t r r 5\n");
    ::mkdir((dir.path + "c.xli").c_str(), 0755); // a folder where a file was listed
    std::int32_t numObjects = 0;
    MessageRecorder recorder;
    const Catalogue c = IniXLIModelsFromNames({"a.xli", "b.xli", "c.xli"}, dir.path, numObjects);
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0].NumModels, 0);
    EXPECT_EQ(c[1].NumModels, 1);
    EXPECT_EQ(c[1].Models[0].DispName, "Bee");
    EXPECT_EQ(c[2].NumModels, 0);
    EXPECT_EQ(c[2].NumXLI, 3);
    EXPECT_EQ(numObjects, 1);
    struct Box {
        const char *text, *caption;
        MsgIcon icon;
    } expected[] = {
        {"a.xli", "not found", MsgIcon::Stop},
        {"a.xli", "not found", MsgIcon::Stop},
        {"Could not locate: a.xli!", "Not found", MsgIcon::Stop},
        {"c.xli", "problem reading file", MsgIcon::Exclamation},
        {"c.xli", "problem reading file", MsgIcon::Exclamation},
        {"", "Problem reading file!", MsgIcon::Exclamation},
    };
    ASSERT_EQ(recorder.messages.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(recorder.messages[i].text, expected[i].text);
        EXPECT_EQ(recorder.messages[i].caption, expected[i].caption);
        EXPECT_EQ(recorder.messages[i].icon, expected[i].icon);
    }
    EXPECT_EQ(CountVekTypes("b.xli", dir.path, false), 1);
    EXPECT_EQ(CountVekTypes("b.xli", dir.path, true), 0);
}
