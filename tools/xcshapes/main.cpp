// kalvora-xcshapes DIR [NAME...]: writes the generated flight shapes as IGC files into DIR.

#include <cstdio>
#include <fstream>
#include <string>

#include "xcshapes/xcshapes.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "Usage: kalvora-xcshapes DIR [NAME...]\n");
        return 2;
    }
    const std::string dir = argv[1];
    int written = 0;
    for (const auto& shape : kalvora::xcshapes::allShapes()) {
        bool wanted = argc == 2;
        for (int i = 2; i < argc; ++i)
            wanted = wanted || shape.name == argv[i];
        if (!wanted)
            continue;
        const std::string path = dir + "/" + shape.name + ".igc";
        std::ofstream out(path, std::ios::binary);
        for (const std::string& line : kalvora::xcshapes::igcLines(shape))
            out << line << "\r\n";
        if (!out) {
            std::fprintf(stderr, "kalvora-xcshapes: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s %zu\n", path.c_str(), shape.fixes.size());
        ++written;
    }
    return written > 0 ? 0 : 1;
}
