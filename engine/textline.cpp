#include "engine/textline.h"

bool readTextLine(FILE* f, std::string& line, bool* cut) {
    line.clear();
    bool dropped = false, any = false;
    int c;
    while ((c = std::fgetc(f)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (line.size() < TEXT_LINE_KEEP) line.push_back(char(c));
        else dropped = true;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (cut) *cut = dropped;
    return any;
}
