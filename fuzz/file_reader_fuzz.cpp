// The CKFile readers over arbitrary data: the input is the file, and its own
// bytes, taken from the end, choose the sequence of reads.
#include "core/KFile.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CKFile file("fuzz");
    file.SetData(std::vector<uint8_t>(data, data + size));
    uint8_t buffer[256];
    for (size_t step = 0; step < 64 && step < size; ++step) {
        const uint8_t choice = data[size - 1 - step];
        switch (choice % 4) {
        case 0: file.Read(buffer, choice); break;
        case 1: file.ReadInt(); break;
        case 2: file.ReadFloat(); break;
        case 3: {
            const std::string text = file.ReadString();
            if (text.size() > file.GetSize()) std::abort();
            break;
        }
        }
        if (file.Position() > file.GetSize()) std::abort();
    }
    // Once past the end, reads give nothing but zeros.
    if (file.Overrun() && (file.ReadInt() != 0 || !file.ReadString().empty())) std::abort();
    return 0;
}
