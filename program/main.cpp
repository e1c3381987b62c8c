// quendra: the softphone. See README.md for the switches and options file.
#include "program/quendra_app.h"

int main(int argc, char** argv) {
    CQuendraApp app(argc, argv);
    return app.InitInstance();
}
