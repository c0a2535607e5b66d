// The dialog templates as the resource compiler would store them (positions
// in dialog units), language Russian.
#include "resources/resource.h"

extern const uint8_t kLauncherPictureRgb[264 * 264 * 3];
extern const uint8_t kProgramIconIndices[32 * 32];
extern const uint8_t kProgramIconPalette[256 * 3];

namespace {

constexpr DWORD kDialogStyle = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;

const KDialogControl kLauncherControls[] = {
    {KControlKind::Static, -1, "", SS_BITMAP, 5, 5, 176, 164, IDB_LAUNCHER, nullptr},
    {KControlKind::Button, IDC_START, "Старт", BS_PUSHBUTTON, 187, 5, 50, 14, 0, "start"},
    {KControlKind::Button, IDC_SETTINGS, "Настройки", BS_PUSHBUTTON, 187, 19, 50, 14, 0, "settings"},
    {KControlKind::Button, IDC_EXIT, "Выход", BS_PUSHBUTTON, 187, 154, 50, 14, 0, "exit"},
};

const KDialogControl kSettingsControls[] = {
    {KControlKind::Button, IDOK, "OK", BS_DEFPUSHBUTTON, 35, 41, 50, 14, 0, "ok"},
    {KControlKind::Button, IDCANCEL, "Отмена", BS_PUSHBUTTON, 97, 41, 50, 14, 0, "cancel"},
    {KControlKind::Static, -1, "Видеорежим:", SS_LEFT, 13, 14, 46, 8, 0, nullptr},
    {KControlKind::ComboBox, IDC_VIDEOMODE, "", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, 75, 13, 94, 76, 0, nullptr},
};

const KDialogTemplate kDialogs[] = {
    {IDD_LAUNCHER, "Кельвандор", kDialogStyle, 0, 0, 242, 172, "MS Sans Serif", 8, kLauncherControls, "launcher"},
    {IDD_SETTINGS, "Настройки", kDialogStyle, 0, 0, 186, 62, "MS Sans Serif", 8, kSettingsControls, "settings"},
};

const KBitmapResource kBitmaps[] = {
    {IDB_LAUNCHER, 264, 264, kLauncherPictureRgb},
};

const KIconResource kIcons[] = {
    {IDI_PROGRAM, 32, 32, kProgramIconIndices, kProgramIconPalette},
};

const KResourceModule kModule{kDialogs, kBitmaps, kIcons};

}  // namespace

const KResourceModule& KelvandorResources() { return kModule; }
