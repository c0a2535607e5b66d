#include "script/KLuaFunctions.h"

#include "Render/KRender.h"
#include "Render/KRenderBlock.h"
#include "Render/KRenderObject.h"
#include "Render/KRenderObjectLoader.h"
#include "Sound/KMusic.h"
#include "Sound/QAudio.h"
#include "core/KConfigVars.h"
#include "core/KKernel.h"
#include "core/KLog.h"
#include "core/KTextReader.h"
#include "interface/KInterface.h"
#include "interface/KWindow.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include <optional>
#include <string>
#include <vector>

namespace {

int LuaGetDeltaTime(lua_State* L) {
    lua_pushnumber(L, g_FrameTime);
    return 1;
}

int LuaAddRef(lua_State* L) {
    HandToScripts(LuaToObject<IKMMObject>(L, 1));
    return 0;
}

int LuaRelease(lua_State* L) {
    TakeBackFromScripts(LuaToObject<IKMMObject>(L, 1));
    return 0;
}

// The commands' texts are read in place: every argument is checked before
// the manager takes any.
int LuaSendCommandByName(lua_State* L) {
    const std::string_view name = CheckLuaView(L, 1), command = CheckLuaView(L, 2), params = CheckLuaView(L, 3);
    if (CKScriptManager* manager = GetScriptManager()) manager->SendCommandByName(name, command, params);
    return 0;
}

int LuaSendCommandByObject(lua_State* L) {
    CKRenderObject* object = LuaToObject<CKRenderObject>(L, 1);
    // For no object the strings are not even read.
    if (!object) return 0;
    const std::string_view command = CheckLuaView(L, 2), params = CheckLuaView(L, 3);
    if (CKScriptManager* manager = GetScriptManager())
        manager->SendCommandByObject(object->GetScript(), command, params);
    return 0;
}

int LuaSendCommandByCategory(lua_State* L) {
    const std::string_view category = CheckLuaView(L, 1), command = CheckLuaView(L, 2), params = CheckLuaView(L, 3);
    if (CKScriptManager* manager = GetScriptManager()) manager->SendCommandByCategory(category, command, params);
    return 0;
}

int LuaSetNextCommand(lua_State* L) {
    CKLuaScript* script = LuaToObject<CKLuaScript>(L, 1);
    lua_pushboolean(L, script && script->NextCommand());
    return 1;
}

int LuaGetCurrentCommand(lua_State* L) {
    CKLuaScript* script = LuaToObject<CKLuaScript>(L, 1);
    if (!script || !script->m_current) return 0;
    PushLuaString(L, script->m_current->command);
    return 1;
}

int LuaGetCurrentParams(lua_State* L) {
    CKLuaScript* script = LuaToObject<CKLuaScript>(L, 1);
    if (!script || !script->m_current) return 0;
    return PushLuaStrings(L, script->m_current->params);
}

int LuaPointerToString(lua_State* L) {
    IKMMObject* object = LuaToObject<IKMMObject>(L, 1);
    PushLuaString(L, object ? ObjectIdString(object) : "0");
    return 1;
}

int LuaStringToPointer(lua_State* L) {
    const std::string text = CheckLuaString(L, 1);
    LuaPushObject(L, ObjectFromId(text.c_str()));
    return 1;
}

int LuaCheckString(lua_State* L) {
    PushLuaString(L, CheckLuaString(L, 1));
    return 1;
}

// x, y, z, yaw, pitch, roll from argument 2 on: rotate, then translate.
D3DXMATRIX TransformationArgument(lua_State* L) {
    float v[6];
    for (int i = 0; i < 6; ++i) v[i] = LuaToFloat(L, i + 2);
    D3DXMATRIX translation, rotation, out;
    D3DXMatrixTranslation(&translation, v[0], v[1], v[2]);
    D3DXMatrixRotationYawPitchRoll(&rotation, v[3], v[4], v[5]);
    D3DXMatrixMultiply(&out, &rotation, &translation);
    return out;
}

int SetTransformation(lua_State* L, void (CKRenderObject::*which)(const D3DXMATRIX&)) {
    const D3DXMATRIX matrix = TransformationArgument(L);
    CKRenderObject* object = LuaToObject<CKRenderObject>(L, 1);
    if (!object) return 0;
    (object->*which)(matrix);
    return 0;
}

int LuaSetLTransformation(lua_State* L) { return SetTransformation(L, &CKRenderObject::SetLocalMatrix); }

int LuaSetPTransformation(lua_State* L) { return SetTransformation(L, &CKRenderObject::SetParentMatrix); }

int LuaGetChildObject(lua_State* L) {
    const std::string_view name = CheckLuaView(L, 2);
    CKRenderObject* found = nullptr;
    if (CKRenderObject* object = LuaToObject<CKRenderObject>(L, 1)) {
        // Scripts look children up every frame: the list keeps its room and
        // is emptied after each search, holding no one.
        static std::vector<CKPtr<CKRenderObject>> tree;
        object->CollectInto(tree);
        for (const CKPtr<CKRenderObject>& node : tree)
            if (node->name == name) {
                found = node.Get();
                break;
            }
        tree.clear();
    }
    LuaPushObject(L, found);
    return 1;
}

int LuaSetVisible(lua_State* L) {
    if (CKRenderObject* object = LuaToObject<CKRenderObject>(L, 1)) object->visible = lua_toboolean(L, 2) ? 1 : 0;
    return 0;
}

int LuaSetCollision(lua_State* L) {
    if (CKRenderObject* object = LuaToObject<CKRenderObject>(L, 1)) object->collision = lua_toboolean(L, 2) ? 1 : 0;
    return 0;
}

int LuaSplitString(lua_State* L) {
    const std::string text = CheckLuaString(L, 1), delimiter = CheckLuaString(L, 2);
    return PushLuaStrings(L, SplitTokens(text, delimiter));
}

int LuaLoadRenderObject(lua_State* L) {
    const std::string name = CheckLuaString(L, 1);
    const int32_t layerOffset = CheckLuaInt32(L, 2);
    CKRenderObjectLoader* loader = GetRenderObjectLoader();
    CKPtr<CKRenderObject> object = loader ? loader->LoadRenderObject(name, layerOffset) : CKPtr<CKRenderObject>();
    // The script owns the one reference that outlives the loader's pointer.
    HandToScripts(object.Get());
    LuaPushObject(L, object.Get());
    return 1;
}

int LuaDrawDynamicObject(lua_State* L) {
    CKRenderObject* object = LuaToObject<CKRenderObject>(L, 1);
    CKRender* render = GetRender();
    if (!object || !render) return 0;
    if (CKPtr<CKRenderBlock> block = render->GetDynamicBlock()) block->AddObjectTree(CKPtr<CKRenderObject>(object));
    return 0;
}

int LuaSetAnimation(lua_State* L) {
    const std::string name = CheckLuaString(L, 2);
    if (CKRenderObject* object = LuaToObject<CKRenderObject>(L, 1)) object->PlayAnimation(name);
    return 0;
}

int LuaGetParentObject(lua_State* L) {
    CKRenderObject* object = LuaToObject<CKRenderObject>(L, 1);
    LuaPushObject(L, object ? object->parent : nullptr);
    return 1;
}

int LuaActivateObject(lua_State* L) {
    const int32_t priority = LuaToInt32(L, 2);
    if (CKRenderObject* object = LuaToObject<CKRenderObject>(L, 1)) object->AddToScene(priority);
    return 0;
}

int LuaDeactivateObject(lua_State* L) {
    if (CKRenderObject* object = LuaToObject<CKRenderObject>(L, 1)) object->RemoveFromScene();
    return 0;
}

int LuaSetFade(lua_State* L) {
    // A factor that is no finite number keeps the picture as it is.
    const std::optional<float> factor = LuaToFiniteFloat(L, 1);
    CKRender* render = GetRender();
    if (factor && render) render->SetFade(*factor);
    return 0;
}

// The control of that name on the screen at 1, or null; a name that is no
// text (not a string or number) names none.
CKWindow* ScreenControl(lua_State* L, CKInterface** screen) {
    *screen = LuaToObject<CKInterface>(L, 1);
    std::string name;
    if (!*screen || !LuaToText(L, 2, &name)) return nullptr;
    CKPtr<CKWindow>* control = (*screen)->controls.Find(name);
    return control ? control->Get() : nullptr;
}

int LuaLockButton(lua_State* L) {
    CKInterface* screen = nullptr;
    CKPtr<CKWindow> control(ScreenControl(L, &screen));
    if (!control) return 0;
    control->SetEnabled(false);
    if (screen->hovered.Get() == control.Get()) {
        control->OnMouseLeave(0, 0);
        screen->hovered = nullptr;
    }
    return 0;
}

int LuaUnlockButton(lua_State* L) {
    CKInterface* screen = nullptr;
    if (CKWindow* control = ScreenControl(L, &screen)) control->SetEnabled(true);
    return 0;
}

int LuaSetWindowVisible(lua_State* L) {
    CKInterface* screen = LuaToObject<CKInterface>(L, 1);
    if (!screen) return 0;
    std::string name;
    if (LuaToText(L, 2, &name)) screen->SetControlVisible(name, lua_toboolean(L, 3) != 0);
    screen->Rebuild();
    return 0;
}

int LuaGetSoundVolume(lua_State* L) {
    lua_pushnumber(L, soundVolume);
    return 1;
}

int LuaGetMusicVolume(lua_State* L) {
    lua_pushnumber(L, musicVolume);
    return 1;
}

// A volume that is no finite number keeps the one set.
int LuaSetSoundVolume(lua_State* L) {
    SetSoundVolumeSetting(LuaToFloat(L, 1, soundVolume));
    return 0;
}

int LuaSetMusicVolume(lua_State* L) {
    SetMusicVolumeSetting(LuaToFloat(L, 1, musicVolume));
    return 0;
}

int LuaPlayMusic(lua_State* L) {
    // A name that is no text plays nothing.
    const char* name = lua_tostring(L, 1);
    if (name)
        if (CKMusic* music = GetMusic()) music->Play(name, true);
    return 0;
}

int LuaKillAllTasks(lua_State*) {
    if (g_Kernel) g_Kernel->KillAllTasks();
    return 0;
}

}  // namespace

const SKLuaFunction g_EngineLuaFunctions[kEngineLuaFunctionCount] = {
    {"GetDeltaTime", LuaGetDeltaTime},
    {"AddRef", LuaAddRef},
    {"Release", LuaRelease},
    {"SendCommandByName", LuaSendCommandByName},
    {"SendCommandByObject", LuaSendCommandByObject},
    {"SendCommandByCategory", LuaSendCommandByCategory},
    {"SetNextCommand", LuaSetNextCommand},
    {"GetCurrentCommand", LuaGetCurrentCommand},
    {"GetCurrentParams", LuaGetCurrentParams},
    {"PointerToString", LuaPointerToString},
    {"StringToPointer", LuaStringToPointer},
    {"SetLTransformation", LuaSetLTransformation},
    {"SetPTransformation", LuaSetPTransformation},
    {"CheckString", LuaCheckString},
    {"GetChildObject", LuaGetChildObject},
    {"SetVisible", LuaSetVisible},
    {"SetCollision", LuaSetCollision},
    {"SplitString", LuaSplitString},
    {"LoadRenderObject", LuaLoadRenderObject},
    {"DrawDynamicObject", LuaDrawDynamicObject},
    {"SetAnimation", LuaSetAnimation},
    {"GetParentObject", LuaGetParentObject},
    {"ActivateObject", LuaActivateObject},
    {"DeactivateObject", LuaDeactivateObject},
    {"SetFade", LuaSetFade},
    {"LockButton", LuaLockButton},
    {"UnlockButton", LuaUnlockButton},
    {"KillAllTasks", LuaKillAllTasks},
    {"GetSoundVolume", LuaGetSoundVolume},
    {"GetMusicVolume", LuaGetMusicVolume},
    {"SetSoundVolume", LuaSetSoundVolume},
    {"SetMusicVolume", LuaSetMusicVolume},
    {"SetWindowVisible", LuaSetWindowVisible},
    {"PlayMusic", LuaPlayMusic},
};

void InstallEngineLuaFunctions() {
    InstallLuaFunctions(KLuaTable::Engine, g_EngineLuaFunctions, kEngineLuaFunctionCount);
}
