#include "message_boxes.h"

#include "simpc/pc.h"
#include "win32_state.h"
#include "windows.h"

namespace simpc {

namespace {

// Whether a button of a box with this style returns `answer`.
bool IsButtonOf(uint32_t style, int answer) {
    switch (style & 0xF) {
        case MB_OK:
            return answer == IDOK;
        case MB_OKCANCEL:
            return answer == IDOK || answer == IDCANCEL;
        case MB_YESNOCANCEL:
            return answer == IDYES || answer == IDNO || answer == IDCANCEL;
        case MB_YESNO:
            return answer == IDYES || answer == IDNO;
        default:
            return false; // the simulated PC draws no other button set
    }
}

} // namespace

void MessageBoxes::Script(std::vector<int> answers) {
    answers_ = std::move(answers);
    next_answer_ = 0;
}

int MessageBoxes::Show(const char* text, const char* caption, uint32_t style) {
    MessageBoxRecord box;
    box.text = text != nullptr ? text : "";
    // A box without a caption is titled "Error", as user32 titles it.
    box.caption = caption != nullptr ? caption : "Error";
    box.style = style;
    if (next_answer_ == answers_.size()) {
        Pc::Current().verifier().Report("message box not in the script: [" + box.caption + "] " +
                                        box.text);
        box.answer = 0;
    } else {
        box.answer = answers_[next_answer_++];
        if (!IsButtonOf(style, box.answer)) {
            Pc::Current().verifier().Report("scripted answer " + std::to_string(box.answer) +
                                            " is no button of the box [" + box.caption + "] " +
                                            box.text);
        }
    }
    shown_.push_back(box);
    return box.answer;
}

} // namespace simpc

extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    (void)hWnd;
    return simpc::Pc::Current().win32().message_boxes().Show(lpText, lpCaption, uType);
}
