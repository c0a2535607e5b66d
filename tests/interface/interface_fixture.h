// Interface screens on the headless renderer, with a script manager and a
// font manager, in a working directory that each test fills with its own
// screen, font and script files.
#pragma once

#include "Input/QInput.h"
#include "interface/KFont.h"
#include "interface/KInterface.h"
#include "interface/KWindow.h"
#include "script/KLuaFunctions.h"
#include "script/KLuaScript.h"
#include "script/KLuaSupport.h"
#include "script/KScriptManager.h"

#include "Render/render_fixture.h"
#include "script/script_fixture.h"

#include <filesystem>
#include <string>
#include <vector>

// The script fixture's helpers, for a fixture that is a renderer test.
struct InterfaceLua : ScriptTest {
    using ScriptTest::Global;
};

class InterfaceTest : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        InstallEngineLuaFunctions();
        std::filesystem::create_directories(std::filesystem::path("Data") / "Scripts");
    }
    void TearDown() override {
        // Entering the scene hands the scripts a reference to the screen.
        for (CKPtr<CKInterface>& screen : screens)
            while (screen && screen->m_scriptRefs > 0) TakeBackFromScripts(screen.Get());
        screens.clear();
        scripts.clear();
        input = nullptr;
        CollectAll();
        delete GetFontManager();
        delete GetScriptManager();
        CollectAll();
        RenderTest::TearDown();
    }

    static void WriteScreen(const std::string& name, const std::string& text, int width = 800) {
        WriteFile(std::filesystem::path("Data") / "Interface" / (name + std::to_string(width) + ".int"), text);
    }
    // A font file: the four header lines, then the glyph lines as given.
    static std::string FontText(int width, int height, int x, int y, const std::vector<std::string>& glyphs) {
        std::string text = "width\t" + std::to_string(width) + "\nheight\t" + std::to_string(height) + "\nx\t" +
                           std::to_string(x) + "\ny\t" + std::to_string(y) + "\n";
        for (const std::string& g : glyphs) text += g + "\n";
        return text;
    }
    static void WriteFont(const std::string& name, const std::string& text) {
        WriteFile(std::filesystem::path("Data") / "Fonts" / (name + ".fnt"), text);
    }
    static void WriteFontList(const std::string& text) {
        WriteFile(std::filesystem::path("Data") / "Fonts" / "fonts.dat", text);
    }
    // The glyph lines of a 256 x 256 font of 16 x 16 cells: the given
    // characters in order from the first cell, each with its width.
    static std::string GridFont(const std::vector<std::pair<std::string, int>>& glyphs) {
        std::vector<std::string> lines;
        for (const auto& [character, width] : glyphs) lines.push_back(character + "\t" + std::to_string(width));
        return FontText(256, 256, 16, 16, lines);
    }

    // A new font manager that has loaded what the files list.
    static CKFontManager& LoadFonts() {
        CKFontManager* fonts = new CKFontManager();
        fonts->Load();
        return *fonts;
    }

    // A script manager over Data\Scripts\list.dat whose scripts all record
    // the commands they read.
    void StartScripts(const std::vector<std::string>& names) {
        std::string list;
        for (const std::string& n : names) {
            list += n + " t_interface\n";
            WriteFile(std::filesystem::path("Data") / "Scripts" / (n + ".lua"), kRecordingLoop);
        }
        WriteFile(std::filesystem::path("Data") / "Scripts" / "list.dat", list);
        new CKScriptManager();
        ASSERT_TRUE(GetScriptManager()->LoadScriptList());
        for (const std::string& n : names) scripts.push_back(GetScriptManager()->GetScript(n));
    }
    // What the script has read since the last call, as "name(p1|p2)".
    std::string Heard(size_t script = 0) {
        CKLuaScript& s = *scripts[script];
        if (s.m_thread) s.Update();
        const std::string seen = InterfaceLua::Global(s, "seen");
        lua_pushstring(s.m_state, "");
        lua_setglobal(s.m_state, "seen");
        return seen;
    }

    CKPtr<CKInterface> Screen(const std::string& name) {
        CKPtr<CKInterface> screen(new CKInterface());
        screen->Load(name);
        screens.push_back(screen);
        return screen;
    }

    // The screen's quads as their top-left corners "x,y", in drawing order.
    static std::vector<std::string> Corners(const CKRenderObject& object) {
        std::vector<std::string> corners;
        for (size_t i = 0; i + 3 < object.vertices.size(); i += 4) {
            const SKVertex& v = object.vertices[i];
            corners.push_back(std::to_string(static_cast<int>(v.x)) + "," + std::to_string(static_cast<int>(v.y)));
        }
        return corners;
    }

    std::vector<CKPtr<CKInterface>> screens;
    std::vector<CKPtr<CKLuaScript>> scripts;
    CKPtr<CQInput> input;
};
