// The checks every untrusted media file passes before it reaches Allegro's
// loaders, which trust what they read: the MIDI tune and the BMP pictures.
#include "data_media.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

uint32_t little_endian(const unsigned char* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; i--) v = (v << 8) | p[i];
    return v;
}

uint32_t big_endian(const unsigned char* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; i++) v = (v << 8) | p[i];
    return v;
}

// Reads a variable-length number of at most four bytes, all inside the track.
const char* read_number(const unsigned char*& p, const unsigned char* end, uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; i++) {
        if (p == end) return "a number runs past the end of its track";
        unsigned char byte = *p++;
        value = (value << 7) | (byte & 0x7F);
        if (!(byte & 0x80)) return nullptr;
    }
    return "a variable-length number is longer than four bytes";
}

// Allegro's player walks a track until its end-of-track event and trusts
// every length on the way, so each event must lie inside the track.
const char* midi_track_fault(const unsigned char* p, const unsigned char* end) {
    unsigned char running = 0;  // status of the last channel event, 0 after any other
    while (p < end) {
        uint32_t delta, length;
        if (const char* why = read_number(p, end, delta)) return why;
        if (p == end) return "an event runs past the end of its track";
        unsigned char status = *p;
        if (status & 0x80)
            p++;
        else if (running)
            status = running;
        else
            return "running status without a channel event before it";
        if (status < 0xF0) {
            running = status;
            int data_bytes = (status >> 4 == 0xC || status >> 4 == 0xD) ? 1 : 2;
            if (end - p < data_bytes) return "an event runs past the end of its track";
            for (int i = 0; i < data_bytes; i++)
                if (p[i] & 0x80) return "a channel event carries a data byte above 127";
            p += data_bytes;
            continue;
        }
        running = 0;
        int meta = -1;
        if (status == 0xFF) {
            if (p == end) return "an event runs past the end of its track";
            meta = *p++;
        } else if (status != 0xF0 && status != 0xF7) {
            return "a status byte that has no place in a file";
        }
        if (const char* why = read_number(p, end, length)) return why;
        if (static_cast<uint32_t>(end - p) < length)
            return "a meta or sysex event runs past the end of its track";
        if (meta == 0x51 && (length != 3 || big_endian(p, 3) == 0))
            return "a tempo change that is not three bytes above zero";
        p += length;
        if (meta == 0x2F) return nullptr;
    }
    return "a track without an end-of-track event";
}

const long midi_size_limit = 1 << 20;

}  // namespace

const char* midi_fault(const unsigned char* data, size_t size) {
    if (size < 14 || std::memcmp(data, "MThd", 4) != 0) return "no MIDI header";
    if (big_endian(data + 4, 4) != 6) return "a header that is not six bytes long";
    uint32_t format = big_endian(data + 8, 2);
    uint32_t tracks = big_endian(data + 10, 2);
    uint32_t division = big_endian(data + 12, 2);
    if (format > 1) return "a format other than 0 or 1";
    if (tracks < 1 || tracks > 32) return "a track count outside 1 to 32";
    if (division == 0) return "a time division of 0";
    if (division & 0x8000) return "an SMPTE time division";
    size_t at = 14;
    for (uint32_t t = 0; t < tracks; t++) {
        if (size - at < 8) return "fewer tracks than the header promises";
        if (std::memcmp(data + at, "MTrk", 4) != 0) return "a chunk where a track should be";
        uint32_t length = big_endian(data + at + 4, 4);
        at += 8;
        if (length > size - at) return "a track runs past the end of the file";
        if (const char* why = midi_track_fault(data + at, data + at + length)) return why;
        at += length;
    }
    return nullptr;
}

const char* midi_file_fault(const char* path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::u8path(path), error)) return "not a regular file";
    FILE* file = std::fopen(path, "rb");
    if (!file) return std::strerror(errno);
    std::vector<unsigned char> bytes(midi_size_limit + 1);
    size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    if (got > static_cast<size_t>(midi_size_limit)) return "larger than a tune can be (1 MiB)";
    return midi_fault(bytes.data(), got);
}

BITMAP* load_checked_bitmap(const char* path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::u8path(path), error)) return nullptr;
    FILE* file = std::fopen(path, "rb");
    if (!file) return nullptr;
    unsigned char h[54];
    size_t got = std::fread(h, 1, sizeof h, file);
    std::fseek(file, 0, SEEK_END);
    long file_size = std::ftell(file);
    std::fclose(file);
    if (got != sizeof h || h[0] != 'B' || h[1] != 'M') return nullptr;
    uint32_t data_offset = little_endian(h + 10, 4);
    uint32_t info_size = little_endian(h + 14, 4);
    int32_t width = static_cast<int32_t>(little_endian(h + 18, 4));
    int32_t height = static_cast<int32_t>(little_endian(h + 22, 4));
    uint32_t bits = little_endian(h + 28, 2);
    uint32_t compression = little_endian(h + 30, 4);
    uint32_t colours_used = little_endian(h + 46, 4);
    if (info_size < 40 || info_size > 124 || compression != 0) return nullptr;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return nullptr;
    if (bits <= 8 && colours_used > (1u << bits)) return nullptr;
    // Allegro reads bottom-up files only: a negative height is a top-down one.
    if (width < 1 || width > 4096 || height < 1 || height > 4096) return nullptr;
    int64_t rows = height;
    int64_t stride = ((static_cast<int64_t>(width) * bits + 31) / 32) * 4;
    if (data_offset < 14 + info_size || data_offset + stride * rows > file_size) return nullptr;
    return load_bitmap(path, nullptr);
}
