// The plain one-pass classification reader the library's reader must match exactly.
#pragma once

#include "ClassificationReader.h"

// Same contract as readClassification (return value, tree, console lines, diagnostic),
// done by one thread scanning the file front to back.
int referenceReadClassification(ClassificationTree& tree, const char* path);
