// method.cpp - the method table.
#include "codec/method.h"

namespace lzh {

//                       id        dict np  pbit coded
const Method kLh0 = {"-lh0-", 0, 0, 0, false};
const Method kLz4 = {"-lz4-", 0, 0, 0, false};
const Method kLh1 = {"-lh1-", 12, 0, 0, true};
const Method kLzs = {"-lzs-", 11, 0, 0, true};
const Method kLz5 = {"-lz5-", 12, 0, 0, true};
const Method kLh4 = {"-lh4-", 12, 14, 4, true};
const Method kLh5 = {"-lh5-", 13, 14, 4, true};
const Method kLh6 = {"-lh6-", 15, 16, 5, true};
const Method kLh7 = {"-lh7-", 16, 17, 5, true};
const Method kLhd = {"-lhd-", 0, 0, 0, false};

const Method* find_method(std::string_view id)
{
    for (const Method* m : {&kLh0, &kLz4, &kLh1, &kLzs, &kLz5, &kLh4, &kLh5, &kLh6, &kLh7, &kLhd})
        if (id == m->id)
            return m;
    return nullptr;
}

}  // namespace lzh
