// Texts put together from parts, in a buffer of exactly the length they
// need, so that no path or message can outgrow its buffer.
#pragma once

// Returns a[0] + a[1] + ... as a new NUL-terminated text, or NULL when no
// memory could be had.  Release it with FreeText.
char* JoinText(const char* first, const char* second, const char* third = "",
               const char* fourth = "", const char* fifth = "");
void FreeText(char* text);
