// The sample content as the game reads it from the packed archive: every
// descriptor's mesh, effects, textures, vertex effects and animations load,
// its nodes are drawn by the game camera, and looping tracks close their loop;
// the fonts and the screens are whole and written in cp1251; the levels'
// objects load through the game's loader; the weapons table names only what
// the archive and the game folder hold; the listed sounds and the music are
// in the game folder.
#include "Render/KAnimationFile.h"
#include "Render/KDescriptor.h"
#include "Render/KMeshFile.h"
#include "Render/KRenderObjectLoader.h"
#include "Render/KVertexEffect.h"
#include "Sound/KWaveFile.h"
#include "Sound/QAudio.h"
#include "core/KFile.h"
#include "core/KMemoryManager.h"
#include "core/KTextReader.h"
#include "game/KWeapons.h"
#include "platform/d3dx9/effect_parser.h"
#include "platform/image/image_decode.h"
#include "script/KScriptManager.h"

#include "support/test_objects.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

// What LoadRenderObject callers other than scripts pass, and the layers the
// game camera (9) and the screen camera (200) bound.
constexpr int kGameLayerOffset = 10;
constexpr int kGameCameraLayer = 9;
constexpr int kScreenCameraLayer = 200;
// Half the height the game camera sees in the play plane (10 degrees from
// 120.5 units away): an object within it stays in view however it turns.
const float kViewHalfHeight = 120.5f * std::tan(5.0f * 3.14159265f / 180.0f);

std::optional<std::vector<uint8_t>> Read(const std::string& name) {
    CKFile file(name);
    if (FAILED(file.Load())) return std::nullopt;
    return std::vector<uint8_t>(file.GetData(), file.GetData() + file.GetSize());
}

const SKMeshNode* FindNode(const SKMeshNode& node, const std::string& name) {
    if (node.name == name) return &node;
    for (const SKMeshNode& child : node.children)
        if (const SKMeshNode* found = FindNode(child, name)) return found;
    return nullptr;
}

void CollectNames(const SKMeshNode& node, std::set<std::string>& names) {
    names.insert(node.name);
    for (const SKMeshNode& child : node.children) CollectNames(child, names);
}

float FarthestVertex(const SKMeshNode& node) {
    float farthest = 0.0f;
    for (const SKVertex& v : node.vertices) farthest = std::max(farthest, std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z));
    for (const SKMeshNode& child : node.children) farthest = std::max(farthest, FarthestVertex(child));
    return farthest;
}

std::vector<std::string> Lines(const std::vector<uint8_t>& text) {
    CKTextReader reader(text.data(), static_cast<int32_t>(text.size()));
    std::vector<std::string> lines;
    for (std::string line; reader.ReadLine(line);) lines.push_back(line);
    return lines;
}

std::optional<platform::DecodedImage> Texture(const std::string& name) {
    const auto bytes = Read("Data\\Textures\\" + name);
    platform::DecodedImage image;
    std::string error;
    if (!bytes || !platform::DecodeImage(bytes->data(), bytes->size(), &image, &error)) return std::nullopt;
    return image;
}

// A font as the game lays texts out with it: each byte's advance, and the
// cell height every glyph is drawn at.
struct SampleFont {
    int cellHeight = 0;
    std::map<uint8_t, float> advances;
};

class SampleContent : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(OpenArchiveFile(KV_GAME_ARCHIVE), S_OK) << KV_GAME_ARCHIVE; }
    void TearDown() override {
        ArchiveTable.clear();
        // Loaded objects go one link of their chain of owners per collection.
        while (!g_PendingObjects.empty()) CollectGarbage();
    }

    static std::vector<std::string> Keys(const std::string& folder, const std::string& extension) {
        std::vector<std::string> keys;
        for (const auto& [key, info] : ArchiveTable)
            if (key.starts_with(folder) && key.ends_with(extension)) keys.push_back(key);
        return keys;
    }

    // Problems of one effect file, empty when it compiles with a technique
    // and declares the textures a material binds.
    static std::string EffectProblems(const std::string& name, size_t textures) {
        const auto bytes = Read("Data\\Effects\\" + name);
        if (!bytes) return name + " is missing";
        platform::fx::Effect effect;
        std::string errors;
        if (!platform::fx::ParseEffect(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                                       name, &effect, &errors))
            return errors;
        if (effect.techniques.empty()) return name + " has no technique";
        for (size_t i = 0; i < textures; ++i)
            if (!effect.FindParameter("tex" + std::to_string(i))) return name + " lacks tex" + std::to_string(i);
        return "";
    }
};

TEST_F(SampleContent, EveryEffectCompiles) {
    const auto keys = Keys("data\\effects\\", ".fx");
    ASSERT_FALSE(keys.empty());
    for (const std::string& key : keys) EXPECT_EQ(EffectProblems(key.substr(key.rfind('\\') + 1), 0), "") << key;
}

TEST_F(SampleContent, EveryDescriptorLoadsWholeAndDrawsUnderTheGameCamera) {
    const auto keys = Keys("data\\meshes\\", ".rdf");
    ASSERT_FALSE(keys.empty());
    for (const std::string& key : keys) {
        SCOPED_TRACE(key);
        const auto text = Read(key);
        ASSERT_TRUE(text);
        const SKDescriptor descriptor = ParseDescriptor(text->data(), static_cast<int32_t>(text->size()));
        const auto meshBytes = Read("Data\\Meshes\\" + descriptor.meshFile);
        ASSERT_TRUE(meshBytes) << descriptor.meshFile;
        SKMeshFile mesh;
        std::string error;
        ASSERT_TRUE(ReadMeshFile(meshBytes->data(), meshBytes->size(), &mesh, &error)) << error;
        EXPECT_LE(FarthestVertex(mesh.root), kViewHalfHeight);

        for (const auto& [name, section] : descriptor.sections) {
            SCOPED_TRACE("[" + name + "]");
            const SKMeshNode* node = FindNode(mesh.root, name);
            ASSERT_NE(node, nullptr) << "a section that names no node";

            std::vector<std::string> textures{section.count("texturefile1") ? section.at("texturefile1") : ""};
            if (section.count("texturefile2")) textures.push_back(section.at("texturefile2"));
            EXPECT_EQ(EffectProblems(section.count("effectfile") ? section.at("effectfile") : "", textures.size()), "");
            for (const std::string& texture : textures) {
                const auto image = Read("Data\\Textures\\" + texture);
                ASSERT_TRUE(image) << texture;
                platform::DecodedImage decoded;
                EXPECT_TRUE(platform::DecodeImage(image->data(), image->size(), &decoded, &error)) << texture << error;
            }

            const int layer = (section.count("type") ? std::atoi(section.at("type").c_str()) : 0) + kGameLayerOffset;
            EXPECT_GT(layer, kGameCameraLayer);
            EXPECT_LT(layer, kScreenCameraLayer);

            if (section.count("vertexeffect"))
                for (const std::string& item : SplitTokens(section.at("vertexeffect"), ";")) {
                    const auto parts = SplitTokens(item, " ");
                    ASSERT_FALSE(parts.empty()) << item;
                    std::unique_ptr<IKVertexEffect> effect(CreateVertexEffect(
                        parts[0], parts.size() > 1 ? SplitTokens(parts[1], ",") : std::vector<std::string>{}));
                    EXPECT_NE(effect, nullptr) << item;
                }

            if (section.count("animation")) {
                std::set<std::string> subtree;
                CollectNames(*node, subtree);
                for (const std::string& item : SplitTokens(section.at("animation"), ";")) {
                    const auto parts = SplitTokens(item, ",");
                    ASSERT_EQ(parts.size(), 2u) << item;
                    const auto bytes = Read("Data\\Animations\\" + parts[1]);
                    ASSERT_TRUE(bytes) << parts[1];
                    SKAnimationFile animation;
                    ASSERT_TRUE(ReadAnimationFile(bytes->data(), bytes->size(), animation)) << parts[1];
                    for (const SKAnimationTrack& track : animation.tracks) {
                        EXPECT_EQ(subtree.count(track.name), 1u) << parts[1] << ": track " << track.name;
                        if (parts[0] != "idle") continue;
                        // A looping track wraps at its second-to-last key: unless that key is the
                        // first pose again, the node jumps at every wrap.
                        ASSERT_GE(track.keys.size(), 3u) << track.name;
                        EXPECT_TRUE(track.keys[track.keys.size() - 2] == track.keys[0]) << track.name;
                    }
                }
            }
        }
    }
}

TEST_F(SampleContent, EveryListedFontHasItsCellsAndItsTexture) {
    const auto list = Read("Data\\Fonts\\fonts.dat");
    ASSERT_TRUE(list);
    const std::vector<std::string> names = Lines(*list);
    EXPECT_EQ(names, (std::vector<std::string>{"small", "title"}));
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const auto text = Read("Data\\Fonts\\" + name + ".fnt");
        ASSERT_TRUE(text);
        const std::vector<std::string> lines = Lines(*text);
        ASSERT_EQ(lines.size(), 4u + 160u);
        int header[4];
        const char* fields[4] = {"width", "height", "x", "y"};
        for (int i = 0; i < 4; ++i) {
            const auto tokens = SplitTokens(lines[i], "\t");
            ASSERT_EQ(tokens.size(), 2u) << lines[i];
            EXPECT_EQ(tokens[0], fields[i]);
            header[i] = std::atoi(tokens[1].c_str());
            EXPECT_GT(header[i], 0) << lines[i];
        }
        const auto texture = Texture(name + ".tga");
        ASSERT_TRUE(texture);
        EXPECT_EQ(texture->width, header[0]);
        EXPECT_EQ(texture->height, header[1]);
        EXPECT_LE(16 * header[2], header[0]);
        EXPECT_LE(10 * header[3], header[1]);
        for (size_t i = 4; i < lines.size(); ++i)
            EXPECT_LE(std::atof(lines[i].substr(lines[i].find('\t') + 1).c_str()) + 2, header[2]) << lines[i];
    }
}

TEST_F(SampleContent, MenuScreensAreCp1251AndStayOnScreen) {
    std::map<std::string, SampleFont> fonts;
    for (const std::string name : {"small", "title"}) {
        const auto text = Read("Data\\Fonts\\" + name + ".fnt");
        ASSERT_TRUE(text) << name;
        const std::vector<std::string> lines = Lines(*text);
        ASSERT_GT(lines.size(), 4u) << name;
        SampleFont& font = fonts[name];
        font.cellHeight = std::atoi(lines[3].substr(2).c_str());
        for (size_t i = 4; i < lines.size(); ++i) {
            CKTokenizer fields(lines[i], "\t", false);
            std::string character, width;
            fields.NextToken(character);
            fields.NextToken(width);
            font.advances[character == "space" ? ' ' : static_cast<uint8_t>(character[0])] =
                std::atof(width.c_str()) + 2;
        }
    }

    // What the scripts and the game find on each screen by name.
    auto numbered = [](const std::string& prefix, int from, int to) {
        std::vector<std::string> names;
        for (int i = from; i <= to; ++i) names.push_back(prefix + std::to_string(i));
        return names;
    };
    std::map<std::string, std::vector<std::string>> needed = {
        {"menu",
         {"new", "continue", "sound_down", "sound_up", "music_down", "music_up", "scores", "exit", "cursor",
          "continue_label", "sound_value", "music_value"}},
        {"hud", {"score", "level_caption", "clear_caption", "over_caption", "win_caption"}},
        {"scores", {"prompt", "entry", "back", "back_label", "cursor"}},
    };
    // UpdateGameInterface shows one icon of each pair.
    for (const auto& [prefix, count] : {std::pair{"lifes_", 3}, {"weapon_", 5}, {"armor_", 5}})
        for (const char* look : {"f", "e"})
            for (const std::string& name : numbered(std::string(prefix) + look, 1, count))
                needed["hud"].push_back(name);
    for (const char* prefix : {"name_", "score_"})
        for (const std::string& name : numbered(prefix, 0, 9)) needed["scores"].push_back(name);

    for (const auto& [screen, names] : needed)
        for (const auto& [width, height] : {std::pair{640, 480}, {800, 600}, {1024, 768}}) {
            const int screenWidth = width, screenHeight = height;
            const std::string path = "Data\\Interface\\" + screen + std::to_string(screenWidth) + ".int";
            SCOPED_TRACE(path);
            const auto bytes = Read(path);
            ASSERT_TRUE(bytes);
            // Cyrillic in cp1251, one byte a letter (А..я 0xC0..0xFF, Ё 0xA8,
            // ё 0xB8), not UTF-8 (a lead byte 0xD0 or 0xD1, then 0x80..0xBF).
            int cyrillic = 0;
            for (size_t i = 0; i < bytes->size(); ++i) {
                const uint8_t b = (*bytes)[i];
                if (b < 0x80) continue;
                EXPECT_TRUE(b >= 0xC0 || b == 0xA8 || b == 0xB8) << "byte " << int(b) << " at " << i;
                EXPECT_FALSE((b == 0xD0 || b == 0xD1) && i + 1 < bytes->size() && (*bytes)[i + 1] >= 0x80 &&
                             (*bytes)[i + 1] <= 0xBF)
                    << "UTF-8 at " << i;
                ++cyrillic;
            }
            EXPECT_GT(cyrillic, 0);

            const std::vector<std::string> lines = Lines(*bytes);
            ASSERT_GE(lines.size(), 3u);
            EXPECT_EQ(lines[0], screen);
            const auto textureLine = SplitTokens(lines[1], ",");
            ASSERT_EQ(textureLine.size(), 3u);
            const auto texture = Texture(textureLine[0]);
            ASSERT_TRUE(texture) << textureLine[0];
            EXPECT_EQ(texture->width, std::atoi(textureLine[1].c_str()));
            EXPECT_EQ(texture->height, std::atoi(textureLine[2].c_str()));

            // Each window line on the screen (the cursor goes where the mouse is)
            // and cut from inside the texture; each text in a known font, its
            // bytes all in the font, and on the screen.
            std::map<std::string, int> found;
            auto window = [&](const std::string& line) {
                const auto tokens = SplitTokens(line, " ");
                ASSERT_EQ(tokens.size(), 2u) << line;
                const auto numbers = SplitTokens(tokens[1], ",");
                ASSERT_EQ(numbers.size(), 8u) << line;
                int n[8];
                for (int i = 0; i < 8; ++i) n[i] = std::atoi(numbers[i].c_str());
                ++found[tokens[0]];
                if (tokens[0] != "cursor") {
                    EXPECT_TRUE(n[0] >= 0 && n[1] >= 0 && n[0] + n[2] <= screenWidth && n[1] + n[3] <= screenHeight)
                        << line;
                }
                EXPECT_TRUE(n[4] >= 0 && n[5] >= 0 && n[4] + n[6] <= texture->width && n[5] + n[7] <= texture->height)
                    << line;
            };
            for (size_t i = 3; i < lines.size(); ++i) {
                std::string keyword = lines[i];
                ToLowerString(keyword);
                if (keyword == "window" && i + 1 < lines.size()) {
                    window(lines[++i]);
                } else if (keyword == "button" && i + 3 < lines.size()) {
                    for (int look = 0; look < 3; ++look) window(lines[++i]);
                } else if (keyword == "text" && i + 1 < lines.size()) {
                    const auto tokens = SplitTokens(lines[++i], " ");
                    ASSERT_EQ(tokens.size(), 2u) << lines[i];
                    ++found[tokens[0]];
                    CKTokenizer fields(tokens[1], ",", true);
                    std::string font, x, y, text;
                    fields.NextToken(font), fields.NextToken(x), fields.NextToken(y), fields.NextToken(text);
                    ASSERT_EQ(fonts.count(font), 1u) << lines[i];
                    float width = 0;
                    for (const char c : text) {
                        const auto advance = fonts[font].advances.find(static_cast<uint8_t>(c));
                        EXPECT_NE(advance, fonts[font].advances.end()) << lines[i] << ": byte " << int(uint8_t(c));
                        if (advance != fonts[font].advances.end()) width += advance->second;
                    }
                    EXPECT_FALSE(text.empty()) << lines[i];
                    EXPECT_LE(std::atof(x.c_str()) + width, screenWidth) << lines[i];
                    EXPECT_LE(std::atof(y.c_str()) + fonts[font].cellHeight, screenHeight) << lines[i];
                } else {
                    ADD_FAILURE() << "line " << i << " is neither window, button nor text: " << lines[i];
                }
            }
            // A name twice would leave the second out of every look-up.
            for (const auto& [name, count] : found) EXPECT_EQ(count, 1) << name;
            for (const std::string& name : names) EXPECT_EQ(found.count(name), 1u) << name;
        }
}

TEST_F(SampleContent, TheStandByObjectHasSomethingToShow) {
    const auto text = Read("Data\\Meshes\\wrong.rdf");
    ASSERT_TRUE(text);
    const SKDescriptor descriptor = ParseDescriptor(text->data(), static_cast<int32_t>(text->size()));
    const auto bytes = Read("Data\\Meshes\\" + descriptor.meshFile);
    ASSERT_TRUE(bytes);
    SKMeshFile mesh;
    std::string error;
    ASSERT_TRUE(ReadMeshFile(bytes->data(), bytes->size(), &mesh, &error)) << error;
    size_t triangles = 0;
    std::vector<const SKMeshNode*> open{&mesh.root};
    while (!open.empty()) {
        const SKMeshNode* node = open.back();
        open.pop_back();
        triangles += node->indices.size() / 3;
        for (const SKMeshNode& child : node->children) open.push_back(&child);
    }
    EXPECT_GT(triangles, 0u);
}

// The levels' objects as the level loads them: each its own mesh (not the
// stand-by's) with something to draw; the rock static, for the level to
// merge into its geometry, the rest moving, their looping animations on the
// nodes that move; each ship flown by its script, an enemy told apart by the
// node named after its type; each bonus named by its root's param, the node
// the level places and hands to the player.
TEST_F(SampleContent, TheLevelObjectsLoadThroughTheGamesLoader) {
    CKRenderObjectLoader loader;
    const struct {
        const char* descriptor;
        std::vector<std::string> nodes;
        const char* animated;  // the node the "idle" animation moves, "" for none
        const char* param;
        const char* script;
        size_t maxTriangles;
    } objects[] = {
        {"player.rdf", {"root", "hull", "engine"}, "engine", "", "player", 300},
        {"enemy.rdf", {"root", "scout", "blades"}, "blades", "", "enemy", 300},
        {"fighter.rdf", {"root", "fighter"}, "", "", "enemy", 300},
        {"gunship.rdf", {"root", "gunship", "turret"}, "turret", "", "enemy", 300},
        // One boss at a time, so it may cost more.
        {"boss.rdf", {"root", "boss", "boss_ring"}, "boss_ring", "", "enemy", 600},
        {"rock.rdf", {"root", "rock"}, "", "", "", 300},
        {"bonus_life.rdf", {"root"}, "root", "bonus_life", "", 300},
        {"bonus_weapon.rdf", {"root"}, "root", "bonus_weapon", "", 300},
        {"bonus_armor.rdf", {"root"}, "root", "bonus_armor", "", 300},
    };
    for (const auto& object : objects) {
        SCOPED_TRACE(object.descriptor);
        const CKPtr<CKRenderObject> root = loader.LoadRenderObject(object.descriptor, kGameLayerOffset);
        ASSERT_TRUE(root);
        std::vector<CKPtr<CKRenderObject>> tree;
        root->CollectInto(tree);
        std::vector<std::string> names;
        size_t triangles = 0;
        for (const CKPtr<CKRenderObject>& node : tree) {
            SCOPED_TRACE(node->name);
            names.push_back(node->name);
            triangles += node->indices.size() / 3;
            const bool animated = node->name == object.animated;
            EXPECT_EQ(node->currentAnimation != nullptr, animated);
            if (animated) {
                EXPECT_EQ(node->currentAnimation->loop, 1);
            }
        }
        EXPECT_EQ(names, object.nodes);
        EXPECT_GT(triangles, 0u);
        EXPECT_LE(triangles, object.maxTriangles);
        const bool moving = std::any_of(tree.begin(), tree.end(), [](const auto& node) { return !node->isStatic; });
        EXPECT_EQ(moving, std::string(object.descriptor) != "rock.rdf");
        EXPECT_EQ(root->param, object.param);
        if (*object.param) {
            EXPECT_EQ(root->isStatic, 0);
        }
        const auto text = Read(std::string("Data\\Meshes\\") + object.descriptor);
        ASSERT_TRUE(text);
        const auto rootSection = ParseDescriptor(text->data(), static_cast<int32_t>(text->size())).Section("root");
        EXPECT_EQ(rootSection.count("script") ? rootSection.at("script") : "", object.script);
    }
}

// The player's script is packed and listed for start-up, hearing the keys.
// A download cut short by one byte keeps its directory whole: every file but
// the one that ended the archive reads as before, that one fails and a loose
// file of its name stands in. A directory that is itself damaged still
// rejects the copy.
TEST_F(SampleContent, AnArchiveCutShortByOneByteKeepsEveryFileButTheLast) {
    std::map<std::string, std::vector<uint8_t>> whole;
    for (const auto& [key, info] : ArchiveTable) {
        const auto bytes = Read(key);
        ASSERT_TRUE(bytes) << key;
        whole[key] = *bytes;
    }
    const auto size = std::filesystem::file_size(KV_GAME_ARCHIVE);
    ScopedWorkDir dir;
    std::filesystem::copy_file(KV_GAME_ARCHIVE, "kelvandor.dat");
    std::filesystem::resize_file("kelvandor.dat", size - 1);
    ASSERT_EQ(OpenGameArchive(), S_OK);
    EXPECT_EQ(ArchiveTable.size(), whole.size());
    std::vector<std::string> cut;
    for (const auto& [key, bytes] : whole) {
        LogCapture log;
        const auto read = Read(key);
        if (read) {
            EXPECT_EQ(*read, bytes) << key;
            EXPECT_TRUE(log.lines.empty()) << key;
            continue;
        }
        cut.push_back(key);
        EXPECT_EQ(log.lines, std::vector<std::string>{"Unknown error in file - kelvandor.dat\n"}) << key;
    }
    ASSERT_EQ(cut.size(), 1u);
    std::string loose = cut[0];
    std::replace(loose.begin(), loose.end(), '\\', '/');
    std::filesystem::create_directories(std::filesystem::path(loose).parent_path());
    std::ofstream(loose, std::ios::binary) << "loose";
    EXPECT_EQ(Read(cut[0]), (std::vector<uint8_t>{'l', 'o', 'o', 's', 'e'}));

    const uint32_t blockEnd = g_ArchiveDataBase;
    std::filesystem::resize_file("kelvandor.dat", blockEnd - 1);
    LogCapture log;
    EXPECT_EQ(OpenGameArchive(), E_FAIL);
    EXPECT_TRUE(ArchiveTable.empty());
    EXPECT_EQ(log.lines, std::vector<std::string>{"Cannot read game archive\n"});
}

TEST_F(SampleContent, ThePlayersScriptIsListedAsAnActionListener) {
    EXPECT_TRUE(Read("Data\\Scripts\\player.lua"));
    const auto list = Read("Data\\Scripts\\list.dat");
    ASSERT_TRUE(list);
    int found = 0;
    for (const std::string& line : Lines(*list)) {
        const SKScriptListLine entry = ParseScriptListLine(line);
        if (entry.name != "player") continue;
        ++found;
        EXPECT_EQ(entry.type, kScriptTypeLevel);
        EXPECT_NE(std::find(entry.categories.begin(), entry.categories.end(), "action_listener"),
                  entry.categories.end());
    }
    EXPECT_EQ(found, 1);
    const auto descriptor = Read("Data\\Meshes\\player.rdf");
    ASSERT_TRUE(descriptor);
    EXPECT_EQ(
        ParseDescriptor(descriptor->data(), static_cast<int32_t>(descriptor->size())).Section("root").at("script"),
        "player");
}

// The weapons table as the weapons system reads it: a weapon of every kind,
// each line as long as its kind reads (a short one would read empty items
// and zeros without a word), and every mesh, part, atlas, effect, particle
// emitter, impact weapon and launch sound it names present. Sounds are loose
// files of the game folder, and 3D samples must be mono.
TEST_F(SampleContent, TheWeaponsTableNamesOnlyWhatTheGameHas) {
    const auto table = Read("Data\\weapons.dat");
    ASSERT_TRUE(table);
    const std::vector<SKWeaponLine> lines = ParseWeaponTable(table->data(), static_cast<int32_t>(table->size()));
    ASSERT_FALSE(lines.empty());

    const auto particles = Read("Data\\particles.dat");
    ASSERT_TRUE(particles);
    std::set<std::string> emitters;
    for (const std::string& line : Lines(*particles)) emitters.insert(SplitTokens(line, " ").at(0));

    const std::map<std::string, size_t> lengths{
        {"simple", 6}, {"rocket", 9}, {"srocket", 9}, {"s_explosion", 10}, {"g_explosion", 11}};
    std::set<std::string> names, kinds, impacts, sides;
    std::map<std::string, std::set<std::string>> soundUsers;
    CKRenderObjectLoader loader;
    auto expectDescriptor = [&](const std::string& descriptor) {
        EXPECT_TRUE(Read("Data\\Meshes\\" + descriptor)) << descriptor;
        const CKPtr<CKRenderObject> root = loader.LoadRenderObject(descriptor, kGameLayerOffset);
        ASSERT_TRUE(root) << descriptor;
        std::vector<CKPtr<CKRenderObject>> tree;
        root->CollectInto(tree);
        size_t triangles = 0;
        for (const CKPtr<CKRenderObject>& node : tree) triangles += node->indices.size() / 3;
        EXPECT_GT(triangles, 0u) << descriptor;
    };

    for (const SKWeaponLine& line : lines) {
        SCOPED_TRACE(line.name);
        names.insert(line.name);
        kinds.insert(line.kind);
        const std::vector<std::string> params = SplitWeaponParams(line.paramText);
        ASSERT_EQ(lengths.count(line.kind), 1u) << line.kind;
        ASSERT_EQ(params.size(), lengths.at(line.kind));
        soundUsers[params.back()].insert(line.name);

        if (line.kind == "simple" || line.kind == "rocket" || line.kind == "srocket") {
            expectDescriptor(params[0]);
            // Any word but "enemy" aims at the player: a misspelt side would
            // turn the player's own weapon on him.
            EXPECT_TRUE(params[1] == "enemy" || params[1] == "player") << params[1];
            sides.insert(params[1]);
            EXPECT_GT(std::atof(params[2].c_str()), 0.0) << "speed";
            EXPECT_GT(std::atof(params[3].c_str()), 0.0) << "damage";
            impacts.insert(params[4]);
            if (line.kind != "simple") {
                EXPECT_EQ(emitters.count(params[5]), 1u) << params[5];
                EXPECT_GT(std::atof(params[6].c_str()), 0.0) << "trail size";
                EXPECT_GT(std::atof(params[7].c_str()), 0.0) << "trail lifetime";
            }
            continue;
        }

        size_t first = 0;
        if (line.kind == "g_explosion") {
            const auto parts = SplitTokens(params[0], ",");
            EXPECT_FALSE(parts.empty());
            for (const std::string& part : parts) expectDescriptor(part + ".rdf");
            EXPECT_EQ(emitters.count("gib1"), 1u);
            first = 1;
        }
        const auto atlas = Texture(params[first]);
        ASSERT_TRUE(atlas) << params[first];
        const int columns = std::atoi(params[first + 1].c_str()), rows = std::atoi(params[first + 2].c_str());
        ASSERT_GT(columns, 0);
        ASSERT_GT(rows, 0);
        // Frames that do not split the atlas evenly would cut across its pictures.
        EXPECT_EQ(atlas->width % columns, 0);
        EXPECT_EQ(atlas->height % rows, 0);
        EXPECT_GT(std::atof(params[first + 3].c_str()), 0.0) << "frames a second";
        EXPECT_GT(std::atof(params[first + 4].c_str()), 0.0) << "size";
        EXPECT_GT(std::atoi(params[first + 5].c_str()), 0) << "sprites";
        EXPECT_EQ(SplitTokens(params[first + 8], ",").size(), 3u) << params[first + 8];
    }
    // The explosions draw with the effect their class names.
    EXPECT_EQ(EffectProblems("light.fx", 1), "");

    EXPECT_EQ(kinds, (std::set<std::string>{"simple", "rocket", "srocket", "s_explosion", "g_explosion"}));
    EXPECT_EQ(sides, (std::set<std::string>{"enemy", "player"}));
    // What the scripts fire and the enemy types name: a missing line leaves a
    // shot unmade, an enemy's weapon aimed at enemies leaves the player unhurt.
    for (const char* name : {"laser", "rocket", "homing_rocket", "enemy_laser", "enemy_rocket", "enemy_homing",
                             "debris", "explosion", "big_debris"})
        EXPECT_EQ(names.count(name), 1u) << name;
    for (const SKWeaponLine& line : lines)
        if (line.name.starts_with("enemy_") && line.kind != "s_explosion") {
            EXPECT_EQ(SplitWeaponParams(line.paramText).at(1), "player") << line.name;
        }
    for (const std::string& impact : impacts) EXPECT_EQ(names.count(impact), 1u) << "impact " << impact;

    const std::filesystem::path sounds = std::filesystem::path(KV_GAME_ARCHIVE).parent_path() / "Data" / "Sounds";
    bool shared = false;
    for (const auto& [sound, users] : soundUsers) {
        if (sound == "none") continue;
        SCOPED_TRACE(sound);
        shared = shared || users.size() > 1;
        std::ifstream file(sounds / sound, std::ios::binary);
        ASSERT_TRUE(file) << (sounds / sound);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        ASSERT_GT(bytes.size(), 44u);
        EXPECT_EQ(std::string(bytes.data(), 4), "RIFF");
        EXPECT_EQ(std::string(bytes.data() + 8, 4), "WAVE");
        EXPECT_EQ(bytes[22] | bytes[23] << 8, 1) << "channels";
    }
    EXPECT_TRUE(shared) << "no two weapons share a launch sound";
}

// The sounds the scripts play by name, listed in Sounds.dat and made into
// the game folder as WAVE files the mixer reads (3D ones mono), and the
// menu's and each level's music beside them.
TEST_F(SampleContent, EveryListedSoundAndPieceOfMusicIsInTheGameFolder) {
    const auto table = Read("Data\\Sounds\\Sounds.dat");
    ASSERT_TRUE(table);
    const std::filesystem::path data = std::filesystem::path(KV_GAME_ARCHIVE).parent_path() / "Data";
    std::set<std::string> listed;
    for (const SKSoundLine& line : ParseSoundTable(table->data(), static_cast<int32_t>(table->size()))) {
        SCOPED_TRACE(line.name);
        listed.insert(line.name);
        CKWaveFile wave;
        ASSERT_EQ(wave.Open((data / "Sounds" / line.file).string().c_str(), nullptr, WAVEFILE_READ), S_OK) << line.file;
        ASSERT_NE(wave.m_format, nullptr);
        EXPECT_EQ(wave.m_format->wFormatTag, WAVE_FORMAT_PCM);
        if (line.is3D) {
            EXPECT_EQ(wave.m_format->nChannels, 1);
        }
        EXPECT_GT(wave.GetSize(), 0u);
    }
    for (const char* name : {"click", "shot", "explosion", "bonus", "player_hit", "enemy_hurt", "life_lost"})
        EXPECT_EQ(listed.count(name), 1u) << name;

    for (const char* piece : {"theme.ogg", "level1.ogg", "level2.ogg", "level3.ogg"}) {
        std::ifstream file(data / "Music" / piece, std::ios::binary);
        ASSERT_TRUE(file) << piece;
        char magic[4] = {};
        file.read(magic, 4);
        EXPECT_EQ(std::string(magic, 4), "OggS") << piece;
    }
}

}  // namespace
