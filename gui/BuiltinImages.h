#pragma once
// The images built into the program: BMP streams drawn by the image
// generator at build time and compiled in, looked up by id.
#include <cstdint>
#include <span>

struct BuiltinImage {
    int id;
    const uint8_t* data;
    uint32_t size;
};

// Every built-in image in ascending id order.
std::span<const BuiltinImage> BuiltinImages();
// The stream of one id; empty when there is none.
std::span<const uint8_t> BuiltinImageStream(int id);
