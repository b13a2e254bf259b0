#pragma once

// Everything the framework offers to its plug-ins keeps default visibility, so that plug-ins built with
// hidden visibility still share one identity (type information, virtual tables) for these classes.
#define EXL_EXPORT __attribute__((visibility("default")))
