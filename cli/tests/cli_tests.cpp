// vekvoxa-cli as a user runs it: exit codes, messages, and the JSON of the list command.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

namespace {

struct RunResult {
    int exitCode = -1;
    std::string out, err;
};

RunResult RunCli(const std::string& args) {
    ScratchDir scratch;
    const std::string cmd = std::string(VV_CLI) + " " + args + " >" + scratch.path + "out 2>" + scratch.path + "err";
    const int status = std::system(cmd.c_str());
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = scratch.read("out");
    r.err = scratch.read("err");
    return r;
}

} // namespace

TEST(Cli, ExitCodesAndErrors) {
    struct Row {
        std::string args;
        int exitCode;
        const char* errStart; // what stderr begins with, or nullptr for nothing
    } rows[] = {
        {"", 2, "usage: vekvoxa-cli"},
        {"--help", 0, nullptr},
        {"frobnicate", 2, "vekvoxa-cli: unknown command 'frobnicate'"},
        {"list", 2, "vekvoxa-cli list: no DIR given"},
        {"list --help", 0, nullptr},
        {"list a b", 2, "vekvoxa-cli list: more than one DIR given"},
        {"list --bogus .", 2, "vekvoxa-cli list: unknown option '--bogus'"},
        {"list /no/such/dir", 1, "Error: '/no/such/dir' is not a directory"},
        {"list /etc/hostname", 1, "Error: '/etc/hostname' is not a directory"},
        {"checksum", 2, "vekvoxa-cli checksum: no NAME given"},
        {"checksum --help", 0, nullptr},
        {"checksum \"$(printf '\\377')\"", 1, "Error: "},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.args);
        const RunResult res = RunCli(r.args);
        EXPECT_EQ(res.exitCode, r.exitCode);
        if (r.errStart) EXPECT_EQ(res.err.rfind(r.errStart, 0), 0u) << res.err;
        else EXPECT_EQ(res.err, "");
    }
}

TEST(Cli, ChecksumPrintsOneLinePerName) {
    const RunResult r = RunCli("checksum abc.xli base_objects.xli 'C:\\Games\\Vek\\base2.xli'");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "888260\tabc.xli\n3095492\tbase_objects.xli\n1140931\tC:\\Games\\Vek\\base2.xli\n");
}

TEST(Cli, ListJsonFollowsTheContract) {
    ScratchDir dir;
    // One good file (with an 8-bit display name and a tiny scale), one that fails in its first token, and one
    // whose second entry is cut short.
    dir.write("a.xli", "888260 1\r\nENGINE_TYPE 1 a.x 1E-05 K\xC3\xB6ln r 0,5 2 3 4\r\n");
    dir.write("b.xli", "HOUSE_TYPE 2 b.x\r\n");
    dir.write("c.xli", "5 2\nHOUSE_TYPE 3 c.x 1 C \"q\" t2 r1 r2 9\nPLANT_TYPE 4 d.x\n");
    const RunResult r = RunCli("list " + dir.path + " --json");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    const std::string expected =
        "{\n  \"directory\": \"" + dir.path + "\",\n  \"NumObjects\": 4,\n  \"catalogue\": [\n"
        "    {\"xliFile\": \"a.xli\", \"NumXLI\": 3, \"Header\": [888260, 1], \"NumModels\": 1, \"stored\": 1, "
        "\"Models\": [\n"
        "      {\"xliFile\": \"a.xli\", \"VekType\": \"ENGINE_TYPE\", \"isObject\": false, \"ID\": 1, \"XFile\": "
        "\"a.x\", \"Scale\": 1e-05, \"DispName\": \"K\xC3\xB6ln\", \"RefModel\": \"r\", \"NotUsed\": 0.5, "
        "\"MaxSpeed\": 2, \"MaxWagons\": 3, \"Checksum\": 4}\n"
        "    ]},\n"
        "    {\"xliFile\": \"b.xli\", \"NumXLI\": 3, \"Header\": [null, null], \"NumModels\": 1, \"stored\": 0, "
        "\"Models\": [\n"
        "      {\"xliFile\": \"\", \"VekType\": \"\", \"isObject\": false, \"ID\": 0, \"XFile\": \"\", \"Scale\": 0, "
        "\"DispName\": \"\", \"RefModel\": \"\", \"NotUsed\": 0, \"MaxSpeed\": 0, \"MaxWagons\": 0, \"Checksum\": 0}\n"
        "    ]},\n"
        "    {\"xliFile\": \"c.xli\", \"NumXLI\": 3, \"Header\": [5, 2], \"NumModels\": 2, \"stored\": 1, "
        "\"Models\": [\n"
        "      {\"xliFile\": \"c.xli\", \"VekType\": \"HOUSE_TYPE\", \"isObject\": true, \"ID\": 3, \"XFile\": "
        "\"c.x\", \"Scale\": 1, \"DispName\": \"c.x\", \"TexturePath1\": \"\\\"q\\\"\", \"TexturePath2\": \"t2\", "
        "\"RGBValue1\": \"r1\", \"RGBValue2\": \"r2\", \"Checksum\": 9},\n"
        "      {\"xliFile\": \"c.xli\", \"VekType\": \"PLANT_TYPE\", \"isObject\": true, \"ID\": 4, \"XFile\": "
        "\"d.x\", \"Scale\": 0, \"DispName\": \"\", \"TexturePath1\": \"\", \"TexturePath2\": \"\", \"RGBValue1\": "
        "\"\", \"RGBValue2\": \"\", \"Checksum\": 0}\n"
        "    ]}\n"
        "  ],\n  \"messages\": [\n"
        "    {\"caption\": \"Problem reading file!\", \"text\": \"\", \"icon\": \"exclamation\"}\n"
        "  ]\n}\n";
    EXPECT_EQ(r.out, expected);

    // Without --json the same message goes to stderr.
    const RunResult table = RunCli("list " + dir.path);
    EXPECT_EQ(table.exitCode, 0);
    EXPECT_EQ(table.err, "Problem reading file!: \n");
    EXPECT_NE(table.out.find("3 XLI file(s), NumObjects 4"), std::string::npos);
}

TEST(Cli, ListOfAnEmptyDirectory) {
    ScratchDir dir;
    const RunResult r = RunCli("list " + dir.path + " --json");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "{\n  \"directory\": \"" + dir.path + "\",\n  \"NumObjects\": 0,\n  \"catalogue\": [],\n"
                     "  \"messages\": []\n}\n");
}
