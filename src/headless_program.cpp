// fenwyd8200-headless: the unattended logger alone, without the window's
// libraries; what fenwyd8200 --headless runs. "--headless" is implied.
#include <cstring>
#include <vector>

#include "headless/headless_main.h"

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    bool named = false;
    for (int i = 1; i < argc; ++i) named = named || std::strcmp(argv[i], "--headless") == 0;
    static char headless[] = "--headless";
    if (!named) args.insert(args.begin() + 1, headless);
    args.push_back(nullptr);
    return fenwyd::headless::Main(static_cast<int>(args.size()) - 1, args.data());
}
