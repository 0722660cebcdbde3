// Pictures checked by other readers: PIL, ImageMagick and a small TGA reader written from the
// format alone (tests/plug/bitmap/picture_check.py says which tool reads which file).
#include "tests/plug/bitmap/PictureTestSupport.h"

#include <map>
#include <sstream>

namespace {

class PictureTools : public CPlugEngineFixture {
protected:
    // Writes the image's texels (top row first, R, G, B[, A]) as NAME.raw for the check script.
    void Dump(const std::string& name, const CPlugFileImg& image) {
        WriteWholeFile(m_Decodes.File(name + ".raw"), TopFirstRgb(image));
    }
    // Runs the check script over the folder of pictures with the triples (NAME:JUDGE:NBCOMP);
    // the largest difference of a byte per NAME:JUDGE.
    std::map<std::string, std::string> Check(const std::string& folder,
                                             const std::vector<std::string>& triples) {
        std::string command = std::string(ENGINE_TEST_PYTHON) + " " + ENGINE_TEST_SOURCE_DIR +
                              "/tests/plug/bitmap/picture_check.py " + folder + " " +
                              m_Decodes.Path().string();
        for (const std::string& triple : triples)
            command += " " + triple;
        std::map<std::string, std::string> results;
        std::istringstream lines(RunCommand(command));
        std::string name, judge, difference;
        while (lines >> name >> judge >> difference)
            results[name + ":" + judge] = difference;
        return results;
    }

    CTempFolder m_Decodes;
};

// Every TGA fixture decodes as PIL decodes it where PIL can, and as the small reader does
// everywhere; 5-bit pixels differ from ImageMagick's scaling only in their low 3 bits.
// ImageMagick 6.9.11 takes the colour map of a true-colour picture for its colours and fails on
// indexes outside a colour map (the fixtures have some, which must read black).
TEST_F(PictureTools, TgaFixturesAsOtherReadersDecodeThem) {
    const struct {
        const char* Name;
        bool Pil;
        bool ImageMagick;
    } cases[] = {
        {"rgb24.tga", true, true},           {"rgb24-top.tga", true, true},
        {"rgb24-rle.tga", true, true},       {"im-rgb24.tga", true, true},
        {"im-rgb24-rle.tga", true, true},    {"rgba32.tga", true, true},
        {"rgba32-alpha128.tga", true, true}, {"grey8.tga", true, true},
        {"cmap24.tga", true, true},          {"rle-cross.tga", false, true},
        {"id-map-skip.tga", false, false},   {"grey8-rle.tga", false, true},
        {"cmap32.tga", false, false},        {"cmap16.tga", false, false},
        {"rgb16.tga", false, true},          {"rgb15-top.tga", false, true},
    };
    std::vector<std::string> triples;
    for (const auto& c : cases) {
        CMwNodRef held(new CPlugFileTga);
        auto* image = static_cast<CPlugFileTga*>(held.Get());
        ASSERT_EQ(image->LoadFromPath(FixtureName(c.Name)), 1) << c.Name;
        ASSERT_FALSE(image->HasLoadFailed()) << c.Name;
        Dump(c.Name, *image);
        const std::string nbComp = std::to_string(image->GetNbComp());
        triples.push_back(std::string(c.Name) + ":own:" + nbComp);
        if (c.Pil)
            triples.push_back(std::string(c.Name) + ":pil:" + nbComp);
        if (c.ImageMagick)
            triples.push_back(std::string(c.Name) + ":im:" + nbComp);
    }
    const auto results = Check(FixturePath(""), triples);
    EXPECT_EQ(results.size(), triples.size());
    for (const std::string& triple : triples) {
        const std::string key = triple.substr(0, triple.rfind(':'));
        const auto found = results.find(key);
        ASSERT_NE(found, results.end()) << key;
        // ImageMagick scales 5-bit values where the engine shifts them.
        const bool scaled = key == "rgb16.tga:im" || key == "rgb15-top.tga:im";
        EXPECT_EQ(found->second, scaled ? "7" : "0") << key;
    }
}

// TGA files the engine writes open in PIL and ImageMagick with the same texels.
TEST_F(PictureTools, WrittenTgaOpensElsewhere) {
    std::vector<std::string> triples;
    for (const char* name : {"rgb24.tga", "rgba32-alpha128.tga"}) {
        CMwNodRef held(new CPlugFileTga);
        auto* image = static_cast<CPlugFileTga*>(held.Get());
        ASSERT_EQ(image->LoadFromPath(FixtureName(name)), 1);
        const std::string written = std::string("written-") + name;
        ASSERT_EQ(image->SaveToPath(Name(written)), 1);
        Dump(written, *image);
        const std::string nbComp = std::to_string(image->GetNbComp());
        triples.push_back(written + ":pil:" + nbComp);
        triples.push_back(written + ":im:" + nbComp);
        const std::string identify =
            RunCommand("identify -format '%w %h %z %[channels]' " + HostFile(written));
        EXPECT_EQ(identify, image->GetNbComp() == 4 ? "24 16 8 srgba" : "24 16 8 srgb");
    }
    const auto results = Check(m_Temp.File("GameData"), triples);
    EXPECT_EQ(results.size(), triples.size());
    for (const auto& [key, difference] : results)
        EXPECT_EQ(difference, "0") << key;
}

// Our JPEG decode is PIL's (both run libjpeg-turbo with its default settings), byte for byte.
TEST_F(PictureTools, JpegAsPilDecodesIt) {
    std::vector<std::string> triples;
    for (const char* name : {"grey.jpg", "colour420.jpg", "progressive444.jpg"}) {
        CMwNodRef held(new CPlugFileJpg);
        auto* image = static_cast<CPlugFileJpg*>(held.Get());
        ASSERT_EQ(image->LoadFromPath(FixtureName(name)), 1) << name;
        Dump(name, *image);
        triples.push_back(std::string(name) + ":pil:" + std::to_string(image->GetNbComp()));
    }
    const auto results = Check(FixturePath(""), triples);
    EXPECT_EQ(results.size(), triples.size());
    for (const auto& [key, difference] : results)
        EXPECT_EQ(difference, "0") << key;
}

} // namespace
