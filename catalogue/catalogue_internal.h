// Shared inside catalogue/ only: pieces that speak in the system layer's terms.
#pragma once

#include "catalogue.h"
#include "sys.h"

// Shows the reader's box for a file that could not be read (reader.cpp).
void ReportXliReadFailure(const std::string& xliFile, ReadFailure failure);
