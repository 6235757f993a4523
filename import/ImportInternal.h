// Every part of the importers at once, for the tests and fuzz targets that reach into them;
// the importers' own files include the parts they use.
#pragma once

#include "Delimited.h"
#include "ImportFailure.h"
#include "Importers.h"
#include "NameCleaning.h"
#include "Packages.h"
#include "TreeBuilder.h"
