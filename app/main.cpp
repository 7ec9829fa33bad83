#include "entry.h"

int main(int argc, char *argv[])
{
    return runEmulator(argc, argv);
}
