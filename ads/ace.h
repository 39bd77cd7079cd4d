// The client engine as the components see it: every entry point of libace32 under its own name
// and parameters (<ace/ace.h>, generated from the engine's declaration list), bound lazily:
// the library is loaded at the first call and each entry point resolved at its own first call
// (ace_binding_support.h). A missing library or entry point raises EAceLoaderError at that call.
#pragma once

#include "ace/ace.h"
#include "ads/ace_binding_support.h"
