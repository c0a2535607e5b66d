#include "Render/KDescriptor.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

SKDescriptor Parse(const std::string& text) { return ParseDescriptor(text.data(), static_cast<int32_t>(text.size())); }

// Sorted, so a whole descriptor compares in one expectation.
using Sections = std::map<std::string, std::map<std::string, std::string>>;

Sections Sorted(const SKDescriptor& descriptor) {
    Sections out;
    for (const auto& [name, keys] : descriptor.sections) out[name] = {keys.begin(), keys.end()};
    return out;
}

TEST(Descriptor, FirstLineNamesTheMeshWhateverItsKey) {
    const struct {
        const char* text;
        const char* mesh;
    } cases[] = {
        {"mesh=ship.msh", "ship.msh"},
        {"Anything = Ship.MSH \r\n", "Ship.MSH"},  // case kept
        {"\n\n// made by hand\nmesh = a.msh", "a.msh"},
        {"mesh = \"My Ship.msh\"", "My Ship.msh"},
        {"mesh = \"a=b.msh\"", "a=b.msh"},
        {"mesh = a.msh = b.msh", "a.msh"},
        {"ship.msh", ""},
        {"[engine]\nvisible = 0", ""},  // the first line is never a section
        {"", ""},
    };
    for (const auto& entry : cases) {
        const SKDescriptor descriptor = Parse(entry.text);
        EXPECT_EQ(descriptor.meshFile, entry.mesh) << entry.text;
    }
    EXPECT_TRUE(Parse("[engine]\nvisible = 0").sections.empty());
}

TEST(Descriptor, SectionsGatherLowerCaseKeysAndValues) {
    const SKDescriptor descriptor = Parse(
        "mesh = ship.msh\r\n"
        "effectfile = ignored.fx\r\n"  // before the first section
        "[Engine]\r\n"
        "Visible = 0\r\n"
        "TextureFile1 = Engine.TGA\r\n"
        "[hull]\r\n"
        "type = 5\r\n"
        "[engine]\r\n"         // the same section again
        "visible = 1 = 2\r\n"  // a later key replaces; further fields are dropped
        "param\r\n");
    EXPECT_EQ(Sorted(descriptor), (Sections{
                                      {"engine", {{"visible", "1"}, {"texturefile1", "engine.tga"}, {"param", ""}}},
                                      {"hull", {{"type", "5"}}},
                                  }));
}

TEST(Descriptor, VisibleZeroReadsForTheEngineNode) {
    const SKDescriptor descriptor = Parse("mesh = ship.msh\n[Engine]\nVisible = 0\n");
    EXPECT_EQ(descriptor.Section("engine").at("visible"), "0");
    EXPECT_TRUE(descriptor.Section("Engine").empty());  // lookups take the name as given
    EXPECT_TRUE(descriptor.Section("hull").empty());
}

TEST(Descriptor, QuotedValuesKeepTheirDelimitersButNotTheirCase) {
    const SKDescriptor descriptor = Parse(
        "mesh = ship.msh\n"
        "[gun]\n"
        "vertexeffect = \"Fade 1,2; Flick 3\"\n"
        "param = \"A=B\"\n"
        "script = \"  Gun Script  \"\n");
    EXPECT_EQ(Sorted(descriptor),
              (Sections{{"gun", {{"vertexeffect", "fade 1,2; flick 3"}, {"param", "a=b"}, {"script", "gun script"}}}}));
}

TEST(Descriptor, CommentLinesAreDroppedWhole) {
    const SKDescriptor descriptor = Parse(
        "mesh = ship.msh\n"
        "[hull]\n"
        "type = 5 // not 6\n"
        "visible = 0\n"
        "/* a block\n"
        "type = 7\n"
        "[gun]\n"
        "*/\n"
        "param = kept\n");
    EXPECT_EQ(Sorted(descriptor), (Sections{{"hull", {{"visible", "0"}, {"param", "kept"}}}}));
}

TEST(Descriptor, AnEmptySectionLineEndsTheDescriptor) {
    // The line reader gives "[]" as it gives the end of the text.
    const SKDescriptor descriptor = Parse("mesh = ship.msh\n[hull]\ntype = 1\n[]\n[gun]\ntype = 2\n");
    EXPECT_EQ(descriptor.meshFile, "ship.msh");
    EXPECT_EQ(Sorted(descriptor), (Sections{{"hull", {{"type", "1"}}}}));
}

}  // namespace
