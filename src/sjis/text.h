// A text of the command's own, in its two languages.
#pragma once

struct Text {
    const char* japanese;  // Shift-JIS, as the command has always written it
    const char* english;   // ASCII

    constexpr Text(const char* inJapanese, const char* inEnglish) : japanese(inJapanese), english(inEnglish) {}
    // A Text passed through "..." would be printed as a pointer's bytes: it
    // is never copied, and stands where a char pointer is asked for.
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;

    // The form in the language the run speaks (RunSettings.english).
    operator const char*() const;
    const char* str() const { return *this; }  // where "..." takes it
};
