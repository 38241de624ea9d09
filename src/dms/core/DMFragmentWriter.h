#pragma once

// The fragment text form written straight into a string, without a libxml2 document: the
// data cache stores thousands of small items, and building, saving and freeing one
// document each costs more than the rest of their handling.
//
// Only trees whose result is certain to be byte for byte what the document road writes
// are taken: names, texts, values and namespaces in plain printable ASCII or well-formed
// UTF-8, every namespace with a prefix the fragment root can declare, no attribute named
// twice. Anything else (default declarations, a namespace without a prefix, characters
// libxml2 writes as references, a write failure) answers false and leaves the text
// untouched, so that the caller takes the document road.

#include <string>

#include "dms/core/DMSOAPElementType.h"

bool DMWriteFragmentDirectly(const DMSOAPElementType& element, const DMNamespacePrefixMap& table, std::string& text);
