#include <headless/headless_main.h>

int main(int argc, char** argv) {
    return headless::HeadlessMain(argc, argv);
}
