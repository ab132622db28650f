// SPDX-FileCopyrightText: 2026 Tollybrook developers
// SPDX-License-Identifier: MIT
/*
 * alfont: anti-aliased TrueType text on Allegro 4 bitmaps, rendered with
 * FreeType.
 *
 * Sizing: a font set to size h occupies a line exactly h pixels tall. The
 * face is scaled so that its ascender-to-descender span is h pixels, and the
 * baseline of a line whose top is y sits at y + round(h * ascender /
 * (ascender - descender)). Lines laid out h pixels apart therefore never
 * overlap for ordinary glyphs.
 *
 * Glyphs are rasterised once per font and size, on first use, and kept; a
 * string drawn again costs only blending. Only the printable ASCII range is
 * drawn: control bytes and bytes of 128 and above take no room and draw
 * nothing. No kerning is applied, so a string's width is the sum of its
 * glyphs' (hinted, whole-pixel) advances, and the same width is used to
 * measure, to centre and to fill the background box.
 *
 * Every function accepts NULL fonts, strings and bitmaps and then does
 * nothing (or returns 0 / -1 as stated).
 */
#ifndef ALFONT_H
#define ALFONT_H

struct BITMAP;

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ALFONT_FONT ALFONT_FONT;

/* Starts the library. Returns 0 on success, non-zero if FreeType could not
 * be initialised. Calls nest: the library stays up until every successful
 * alfont_init has been matched by an alfont_exit. */
int alfont_init(void);

/* Ends one alfont_init; the last one shuts the library down. Fonts should
 * be destroyed first; a font still alive then keeps the glyphs it already
 * cached but can rasterise no new ones, and must still be freed with
 * alfont_destroy_font. */
void alfont_exit(void);

/* Loads a font file (TrueType, OpenType or anything else FreeType reads as
 * a scalable outline font). Returns NULL if the library is not started or
 * the file is missing, unreadable, corrupt or not scalable. A new font has
 * size 16. */
ALFONT_FONT* alfont_load_font(const char* filepathname);

/* The same from a font file's bytes, which the font copies: a file the
 * caller reads its own way (any path length or characters). */
ALFONT_FONT* alfont_load_font_from_memory(const void* data, long size);

/* Sets the line height in pixels (see "Sizing" above); 1 to 2048.
 * Returns 0 on success, -1 (and keeps the previous size) otherwise, also
 * when the face's glyph box at that size would be more than four line
 * heights wide or tall. Whatever the size, a glyph larger than that is
 * never rasterised: it draws nothing. */
int alfont_set_font_size(ALFONT_FONT* f, int h);

/* Narrows every glyph and its advance to percent of its natural width;
 * 1 to 100 (the default, no narrowing). The line height is unchanged, and
 * a narrowed glyph never outgrows the bound set on its size. Returns 0 on
 * success, -1 (and keeps the previous width) otherwise. */
int alfont_set_width_percent(ALFONT_FONT* f, int percent);
/* The narrowing last set, in percent; 0 for a NULL font. */
int alfont_get_width_percent(ALFONT_FONT* f);

/* The size last set, in pixels; 0 for a NULL font. */
int alfont_get_font_height(ALFONT_FONT* f);

/* Width in pixels of s: the sum of its glyphs' advances. 0 for a NULL font
 * or string. */
int alfont_text_length(ALFONT_FONT* f, const char* s);

/* Draws s with its left end at x and the top of its line at y, anti-aliased
 * in color (a value made with makecol for bmp's colour depth). If backg is
 * not -1 the box alfont_text_length(f, s) wide and the font size tall is
 * first filled with backg. Drawing is clipped to bmp's clip rectangle and
 * never goes outside the bitmap. Blending works on 15, 16, 24 and 32 bits
 * per pixel; other depths get a coarse fallback. */
void alfont_textout_aa_ex(struct BITMAP* bmp, ALFONT_FONT* f, const char* s, int x, int y,
                          int color, int backg);

/* As alfont_textout_aa_ex, with the string centred on x: its left end is
 * at x - alfont_text_length(f, s) / 2. */
void alfont_textout_centre_aa_ex(struct BITMAP* bmp, ALFONT_FONT* f, const char* s, int x, int y,
                                 int color, int backg);

/* Frees a font and its cached glyphs. NULL is ignored. */
void alfont_destroy_font(ALFONT_FONT* f);

/* Diagnostic: the number of glyphs rasterised since the program started.
 * Drawing text whose glyphs are all cached leaves it unchanged. */
unsigned long alfont_glyphs_rendered(void);

#ifdef __cplusplus
}
#endif

#endif
