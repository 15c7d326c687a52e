// Writing new XLI files: the exact bytes, the refusal to overwrite, and failures that leave nothing behind.
#include "catalogue.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

xlimodel Vehicle(std::int32_t id, const char* xfile, float scale, const char* name, std::int32_t checksum) {
    xlimodel m;
    m.VekType = "ENGINE_TYPE";
    m.ID = id;
    m.XFile = xfile;
    m.Scale = scale;
    m.DispName = name;
    m.RefModel = "Demo_Ref";
    m.NotUsed = 0.0f;
    m.MaxSpeed = 120;
    m.MaxWagons = 8;
    m.Checksum = checksum;
    return m;
}

xlimodel Object(std::int32_t id, const char* xfile, float scale, const char* name, std::int32_t checksum) {
    xlimodel m;
    m.VekType = "HOUSE_TYPE";
    m.isObject = true;
    m.ID = id;
    m.XFile = xfile;
    m.Scale = scale;
    m.DispName = name;
    m.TexturePath1 = "hut1.bmp";
    m.TexturePath2 = "hut2.bmp";
    m.RGBValue1 = "200";
    m.RGBValue2 = "100";
    m.Checksum = checksum;
    return m;
}

Catalogue ExampleCatalogue() {
    xlimodels r;
    r.NumXLI = 1;
    r.xliFile = "abc.xli";
    r.Header[0] = CalcXLIChecksumFromPath(r.xliFile);
    r.Header[1] = 2;
    r.Models = {Vehicle(4711, "loco.x", 1.5f, "Demo_Loco", 810640), Object(4712, "hut.x", 0.25f, "Demo_Hut", 709327)};
    r.NumModels = 2;
    return {r};
}

const std::string kExampleBytes =
    "888260\r\n2\r\n"
    "ENGINE_TYPE\t4711\tloco.x\t1.5\tDemo_Loco\r\n\tDemo_Ref\r\n\t0\r\n\t120\r\n\t8\r\n\t810640\r\n"
    "HOUSE_TYPE\t4712\thut.x\t0.25\tDemo_Hut\r\n\thut1.bmp\r\n\thut2.bmp\r\n\t200\r\n\t100\r\n\t709327\r\n";

} // namespace

TEST(Writer, WritesTheWorkedExampleByteForByte) {
    ScratchDir dir;
    MessageRecorder recorder;
    WriteNewXliFile(ExampleCatalogue(), dir.path);
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(dir.read("abc.xli"), kExampleBytes);

    // The entry checksums of the example are those of the new-file arithmetic with X-files of 12345 and 2048 bytes.
    const std::int32_t name = CalcModelChecksum(CalcAsciiSum("abc.xli") + 1);
    EXPECT_EQ(name + CalcModelChecksum(CalcAsciiSum("loco.x") + 1) + 2345 + 1337, 810640);
    EXPECT_EQ(name + CalcModelChecksum(CalcAsciiSum("hut.x") + 1) + 2048 + 1337, 709327);
}

TEST(Writer, ReadsBackWhatItWrote) {
    ScratchDir dir;
    Catalogue c = ExampleCatalogue();
    c[0].Models[0].Scale = 0.00001f;
    c[0].Models[0].NotUsed = -12345678.0f;
    c[0].Models[0].DispName = "K\xF6ln_Hbf"; // 8-bit text goes out as UTF-8
    WriteNewXliFile(c, dir.path);
    EXPECT_NE(dir.read("abc.xli").find("K\xC3\xB6ln_Hbf"), std::string::npos);
    EXPECT_NE(dir.read("abc.xli").find("\t1E-05\t"), std::string::npos);

    std::int32_t numObjects = 0;
    const Catalogue back = IniXLIModelsStruct(dir.path, numObjects);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].Models[0].DispName, "K\xF6ln_Hbf");
    EXPECT_EQ(back[0].Models[0].Scale, 0.00001f);
    EXPECT_EQ(back[0].Models[0].NotUsed, -12345680.0f);
    EXPECT_EQ(back[0].Models[1].RGBValue2, "100");
}

TEST(Writer, EdgeCasesOfTheLayout) {
    xlimodels empty;
    empty.xliFile = "none.xli";
    empty.Header[0] = 5;
    empty.Header[1] = 0;
    EXPECT_EQ(FormatXliFile(empty), "5\r\n0\r\n");

    xlimodels r = ExampleCatalogue()[0];
    r.Models.resize(1);
    r.Models[0].DispName.clear();
    r.Models[0].Scale = 1.0f;
    r.Models[0].MaxSpeed = -3;
    EXPECT_EQ(FormatXliFile(r), "888260\r\n2\r\nENGINE_TYPE\t4711\tloco.x\t1\t\r\n\tDemo_Ref\r\n\t0\r\n\t-3\r\n\t8\r\n"
                                "\t810640\r\n");
    // A vehicle never writes its object fields, even if they hold something.
    r.Models[0].TexturePath1 = "never";
    EXPECT_EQ(FormatXliFile(r).find("never"), std::string::npos);
}

TEST(Writer, OnlyTheFirstRecordIsWrittenUnderItsName) {
    ScratchDir dir;
    Catalogue c = ExampleCatalogue();
    c.push_back(c[0]);
    c[1].xliFile = "second.xli";
    c.push_back(c[1]);
    WriteNewXliFile(c, dir.path);
    EXPECT_EQ(dir.read("abc.xli"), kExampleBytes);
    EXPECT_FALSE(FileExists(dir.path + "second.xli"));
}

TEST(Writer, NeverReplacesAnExistingFile) {
    ScratchDir dir;
    dir.write("base_objects.xli", "original");
    for (const char* name : {"base_objects.xli", "BASE_OBJECTS.xli"}) {
        SCOPED_TRACE(name);
        Catalogue c = ExampleCatalogue();
        c[0].xliFile = name;
        MessageRecorder recorder;
        WriteNewXliFile(c, dir.path);
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].text, "File already exists!\nPlease use another name.");
        EXPECT_EQ(recorder.messages[0].caption, "");
        EXPECT_EQ(recorder.messages[0].icon, MsgIcon::None);
        EXPECT_EQ(dir.read("base_objects.xli"), "original");
    }
    // Writing twice under one name: the first file stays.
    MessageRecorder recorder;
    WriteNewXliFile(ExampleCatalogue(), dir.path);
    Catalogue other = ExampleCatalogue();
    other[0].Models.pop_back();
    WriteNewXliFile(other, dir.path);
    EXPECT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(dir.read("abc.xli"), kExampleBytes);
}

TEST(Writer, ReportsAFileItCannotWriteAndLeavesNothingBehind) {
    ScratchDir dir;
    Catalogue c = ExampleCatalogue();
    c[0].xliFile = "no_such_folder/abc.xli";
    MessageRecorder recorder;
    WriteNewXliFile(c, dir.path);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].caption, "Problem writing file!");
    EXPECT_EQ(recorder.messages[0].text, dir.path + "no_such_folder/abc.xli\nNo such file or directory");
    EXPECT_EQ(recorder.messages[0].icon, MsgIcon::Stop);

    // A name the file system refuses (too long): reported, and no temporary file is left in the directory.
    c[0].xliFile = std::string(300, 'n') + ".xli";
    WriteNewXliFile(c, dir.path);
    ASSERT_EQ(recorder.messages.size(), 2u);
    EXPECT_EQ(recorder.messages[1].caption, "Problem writing file!");
    std::vector<std::string> left;
    ListFiles(dir.path, "", left);
    EXPECT_TRUE(left.empty());
}
