// What a thread holds of the library's locks and image reads, so that a fault guard's recovery can
// give back what the frames it abandons had taken: a recovery skips their destructors and releases.
#pragma once

#include "platform/platform.h"

class CHeldResources {
public:
    typedef void (*Release)(void *what);

    // Records a hold; its release runs on recovery unless Drop removed it first.
    static void Hold(Release release, void *what);
    // Removes the innermost record of that hold, without running it.
    static void Drop(Release release, void *what);
    static int Depth();
    // Runs and removes the records above depth, innermost first.
    static void ReleaseTo(int depth);
};
