#include "fixed_pitch_font.h"

#include <initializer_list>

bool IsFixedPitch(HFONT font)
{
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ previous = ::SelectObject(dc, font);
    TEXTMETRICW metrics{};
    const bool measured = ::GetTextMetricsW(dc, &metrics) != 0;
    ::SelectObject(dc, previous);
    ::ReleaseDC(nullptr, dc);
    // The flag's name says the opposite of what it means: set for variable pitch.
    return measured && !(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH);
}

HFONT FixedPitchReplacementFor(HFONT font)
{
    if (font == nullptr || IsFixedPitch(font))
        return nullptr;
    LOGFONTW wanted{};
    ::GetObjectW(font, sizeof wanted, &wanted);
    wanted.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    wanted.lfWeight = FW_NORMAL;
    for (const wchar_t* face : {L"Courier New", L"DejaVu Sans Mono", L"Liberation Mono", L""}) {
        ::lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
        HFONT candidate = ::CreateFontIndirectW(&wanted);
        if (candidate != nullptr && IsFixedPitch(candidate))
            return candidate;
        if (candidate != nullptr)
            ::DeleteObject(candidate);
    }
    return nullptr;
}
