#include "book/book.h"

// No book is read yet.
int bookMoveForSearch(uint32_t* /*moves*/) { return 0; }
uint32_t bookProbe() { return 0; }
