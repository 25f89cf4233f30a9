// The message box of each kind and button set, and the version texts.
#include "message_dialog.h"

#include "setup_fixture.h"

namespace {

struct DialogCase {
    int kind;
    unsigned buttons;
    const char* caption;
    uint32_t style;
};

class MessageDialogTest : public SetupTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(MessageDialogTest, CaptionIconAndButtonsFollowKindAndSet) {
    const DialogCase& c = GetParam();
    boxes().Script({(c.style & 0xF) == MB_YESNO ? IDNO : IDOK});
    const int answer = MessageDialog("text", c.kind, c.buttons);
    EXPECT_EQ(answer, (c.style & 0xF) == MB_YESNO ? IDNO : IDOK);
    ExpectBoxes({{"text", c.caption, c.style}});
}

INSTANTIATE_TEST_SUITE_P(
    KindsAndButtons, MessageDialogTest,
    ::testing::Values(
        DialogCase{MESSAGE_WARNING, BUTTON_YES | BUTTON_NO, "Warning", MB_ICONWARNING | MB_YESNO},
        DialogCase{MESSAGE_ERROR, BUTTON_OK, "Error", MB_ICONERROR | MB_OK},
        DialogCase{MESSAGE_INFORMATION, BUTTON_OK, "Information", MB_ICONINFORMATION | MB_OK},
        // A confirmation keeps the information icon, not the question mark.
        DialogCase{MESSAGE_CONFIRMATION, BUTTON_YES | BUTTON_NO, "Confirmation",
                   MB_ICONINFORMATION | MB_YESNO},
        DialogCase{MESSAGE_CUSTOM, BUTTON_OK, "Information", MB_ICONINFORMATION | MB_OK},
        DialogCase{5, BUTTON_OK, "Information", MB_ICONINFORMATION | MB_OK},
        DialogCase{-1, BUTTON_YES | BUTTON_NO, "Information", MB_ICONINFORMATION | MB_YESNO},
        // Only Yes together with No makes a Yes/No box.
        DialogCase{MESSAGE_ERROR, BUTTON_YES, "Error", MB_ICONERROR | MB_OK},
        DialogCase{MESSAGE_ERROR, BUTTON_NO, "Error", MB_ICONERROR | MB_OK},
        DialogCase{MESSAGE_ERROR, 0, "Error", MB_ICONERROR | MB_OK},
        DialogCase{MESSAGE_WARNING, BUTTON_YES | BUTTON_NO | BUTTON_OK, "Warning",
                   MB_ICONWARNING | MB_YESNO}));

struct VersionTextCase {
    BYTE major;
    BYTE minor;
    const char* text;
};

class VersionTextTest : public ::testing::TestWithParam<VersionTextCase> {};

TEST_P(VersionTextTest, IsDecimalMajorPointMinor) {
    const VersionTextCase& c = GetParam();
    EXPECT_STREQ(VersionToText(MakeDriverVersion(c.major, c.minor)).text, c.text);
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionTextTest,
                         ::testing::Values(VersionTextCase{2, 4, "2.4"},
                                           VersionTextCase{0, 0, "0.0"},
                                           VersionTextCase{3, 10, "3.10"},
                                           VersionTextCase{100, 99, "100.99"},
                                           VersionTextCase{255, 255, "255.255"}));

TEST(VersionWord, LowByteIsMajorHighByteMinor) {
    EXPECT_EQ(MakeDriverVersion(2, 4), 0x0402);
    EXPECT_EQ(DriverMajor(0x0402), 2);
    EXPECT_EQ(DriverMinor(0x0402), 4);
}

} // namespace
