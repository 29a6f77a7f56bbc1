#pragma once

// The application icon: the skin engine looks for it under this number.
#define IDI_APP 129

// The skin engine's pictures (RCDATA), in the order of skin::Glyph.
#define IDR_SKIN_GLYPH_FIRST 201
#define IDR_SKIN_CAPTION_MINIMISE 201
#define IDR_SKIN_CAPTION_MAXIMISE 202
#define IDR_SKIN_CAPTION_RESTORE 203
#define IDR_SKIN_CAPTION_CLOSE 204
#define IDR_SKIN_CAPTION_MENU 205
#define IDR_SKIN_CAPTION_HELP 206
#define IDR_SKIN_CHECK_EMPTY 207
#define IDR_SKIN_CHECK_TICKED 208
#define IDR_SKIN_ARROW_DOWN 209
#define IDR_SKIN_ARROW_UP 210
#define IDR_SKIN_ARROW_LEFT 211
#define IDR_SKIN_ARROW_RIGHT 212
// The effect editor's background picture (JPEG, 321 × 186).
#define IDR_EDITOR_BACKGROUND 230
