// The demo game directory carries the numbers that the game expects of its XLI files.
#include "catalogue.h"
#include "sys.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(Samples, DemoGameDirectoryCarriesTheGamesChecksums) {
    const std::string dir = std::string(VV_SOURCE_DIR) + "/samples/game/";
    std::int32_t numObjects = 0;
    MessageRecorder recorder;
    const Catalogue c = IniXLIModelsStruct(dir, numObjects);
    EXPECT_TRUE(recorder.messages.empty());
    ASSERT_GE(c.size(), 3u);
    bool duplicate = false;
    for (const xlimodels& r : c) {
        SCOPED_TRACE(r.xliFile);
        EXPECT_EQ(r.Header[0], CalcXLIChecksumFromPath(r.xliFile));
        EXPECT_EQ(r.Header[1], r.NumModels);
        for (const xlimodel& m : r.Models) {
            SCOPED_TRACE(m.XFile);
            // The entry checksum ties the entry to its file's name and to the size of its X-file.
            const std::string xfile = dir + "scenes/xfiles/" + m.XFile;
            ASSERT_TRUE(std::filesystem::exists(xfile));
            const auto size = static_cast<std::int32_t>(std::filesystem::file_size(xfile));
            EXPECT_EQ(m.Checksum, CalcModelChecksum(CalcAsciiSum(r.xliFile) + 1) +
                                      CalcModelChecksum(CalcAsciiSum(m.XFile) + 1) +
                                      static_cast<std::int32_t>(GetLastDigits(size, 4)) + 1337);
            const xlimodel* first = GetModelByID(c, m.ID);
            if (first != &m) duplicate = true;
        }
    }
    EXPECT_TRUE(duplicate) << "the demo directory should show the duplicate-ID check something to find";
}
