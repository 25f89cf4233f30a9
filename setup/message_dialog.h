// The installer's only way of talking to the user: a message box with a
// caption and an icon that tell the kind of message, and Yes/No or OK.
#pragma once

#include <windows.h>

// Message kinds: the caption and icon of the box.
enum {
    MESSAGE_WARNING = 0,      // "Warning", warning icon
    MESSAGE_ERROR = 1,        // "Error", error icon
    MESSAGE_INFORMATION = 2,  // "Information", information icon
    MESSAGE_CONFIRMATION = 3, // "Confirmation", information icon
    MESSAGE_CUSTOM = 4,       // "Information", information icon
};

// Button set: Yes and No together give a Yes/No box, anything else OK.
enum {
    BUTTON_YES = 0x1,
    BUTTON_NO = 0x2,
    BUTTON_OK = 0x4,
};

// Shows the box with no owner window; returns what MessageBoxA returned
// (IDYES, IDNO or IDOK).
int MessageDialog(const char* text, int kind, unsigned buttons);
