#include "SystemFactsWin32.h"

SystemFacts& systemFacts() {
    static SystemFactsWin32 instance;
    return instance;
}
