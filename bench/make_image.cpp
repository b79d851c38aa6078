// refirm-bench-image OUT MAIN_MIB [ordered|shuffled|overlapping]: writes a
// generated image (see image_generator.h) for the comparisons of bench/run.sh.
#include "image_generator.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: refirm-bench-image OUT MAIN_MIB [ordered|shuffled|overlapping]\n");
        return 2;
    }
    bench::ImageShape shape;
    shape.mainBytes = std::strtoull(argv[2], nullptr, 10) << 20;
    const std::string order = argc > 3 ? argv[3] : "ordered";
    if (order == "shuffled")
        shape.order = bench::Order::Shuffled;
    else if (order == "overlapping")
        shape.order = bench::Order::Overlapping;
    else if (order != "ordered") {
        std::fprintf(stderr, "refirm-bench-image: unknown order %s\n", order.c_str());
        return 2;
    }
    if (!bench::WriteImage(argv[1], shape)) {
        std::fprintf(stderr, "refirm-bench-image: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
