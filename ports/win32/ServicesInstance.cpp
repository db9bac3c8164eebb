#include "ServicesWin32.h"

Services& services() {
    static ServicesWin32 instance;
    return instance;
}
