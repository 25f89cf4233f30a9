#include "message_dialog.h"

int MessageDialog(const char* text, int kind, unsigned buttons) {
    const char* caption = "Information";
    UINT icon = MB_ICONINFORMATION;
    switch (kind) {
        case MESSAGE_WARNING:
            caption = "Warning";
            icon = MB_ICONWARNING;
            break;
        case MESSAGE_ERROR:
            caption = "Error";
            icon = MB_ICONERROR;
            break;
        case MESSAGE_CONFIRMATION:
            // A confirmation asks, but keeps the information icon.
            caption = "Confirmation";
            break;
        default:
            break;
    }
    const bool yes_no = (buttons & BUTTON_YES) != 0 && (buttons & BUTTON_NO) != 0;
    return MessageBoxA(NULL, text, caption, icon | (yes_no ? MB_YESNO : MB_OK));
}
