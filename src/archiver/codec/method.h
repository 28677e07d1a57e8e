// method.h - the LZH methods this engine writes and reads, as rows of one table
// (the older ones, marked read only, are only ever decoded).
#pragma once

#include <string_view>

namespace lzh {

struct Method {
    char id[6];          // "-lh5-" and a NUL
    unsigned dict_bits;  // log2 of the dictionary; 0 for -lh0- and -lhd-
    unsigned np;         // size of the position (P) alphabet: dict_bits + 1
    unsigned pbit;       // width of the P-table count field
    bool coded;          // true for the LZSS + Huffman methods

    std::size_t dict_size() const { return std::size_t(1) << dict_bits; }
};

extern const Method kLh0;  // stored
extern const Method kLz4;  // LArc: stored, read only
extern const Method kLh1;  // LHarc: adaptive Huffman, 4 KiB, read only
extern const Method kLzs;  // LArc: 2 KiB, read only
extern const Method kLz5;  // LArc: 4 KiB, read only
extern const Method kLh4;  // 4 KiB dictionary, read only
extern const Method kLh5;  // 8 KiB dictionary
extern const Method kLh6;  // 32 KiB dictionary
extern const Method kLh7;  // 64 KiB dictionary
extern const Method kLhd;  // directory (and symbolic link) entry

// The row whose id is `id` ("-lh5-"), or nullptr for a method we do not know.
const Method* find_method(std::string_view id);

}  // namespace lzh
