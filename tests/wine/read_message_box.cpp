// read_message_box: reads a message box that another program shows, from
// its window: the box is the dialog-class top-level window with the given
// caption; its text is the static control that message boxes give the ID
// 0xFFFF, its buttons the controls with the IDs of the answers.
//
//   read_message_box CAPTION
//
// Prints "buttons: <yes,no,ok,...>" and "text: <text>" with CR and LF
// written as \r and \n, so that the text is one line.  Exit 0 when the box
// was found, 1 when no such box is shown, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kMessageTextId = 0xFFFF;

std::string Escaped(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\r') {
            out += "\\r";
        } else if (*p == '\n') {
            out += "\\n";
        } else {
            out += *p;
        }
    }
    return out;
}

std::string ButtonsOf(HWND box) {
    static const struct {
        int id;
        const char* name;
    } kButtons[] = {{IDYES, "yes"}, {IDNO, "no"}, {IDOK, "ok"}, {IDCANCEL, "cancel"}};
    std::string list;
    for (const auto& button : kButtons) {
        if (GetDlgItem(box, button.id) != NULL) {
            list += (list.empty() ? "" : ",") + std::string(button.name);
        }
    }
    return list;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CAPTION\n", argv[0]);
        return 2;
    }
    HWND box = FindWindowA("#32770", argv[1]);
    if (box == NULL) {
        std::printf("no message box \"%s\"\n", argv[1]);
        return 1;
    }
    HWND text_control = GetDlgItem(box, kMessageTextId);
    char text[4096] = {};
    if (text_control != NULL) {
        // WM_GETTEXT reaches a window of another process as well.
        SendMessageA(text_control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    }
    std::printf("buttons: %s\n", ButtonsOf(box).c_str());
    std::printf("text: %s\n", Escaped(text).c_str());
    return 0;
}
