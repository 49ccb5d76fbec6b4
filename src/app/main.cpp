#include "app/startup.hpp"

int main(int argc, char** argv) {
    return peltoMain(argc, argv);
}
