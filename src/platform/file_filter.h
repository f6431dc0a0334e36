#pragma once
// The file type choices of the file dialogs, turned into the name filters of
// a dialog on a case-sensitive file system.

#include <string>

// Turns description|pattern pairs ("Text files (*.txt)|*.TXT|All files (*.*)|*.*")
// into name filters joined by ";;" ("Text files (*.TXT *.txt);;All files (*)").
// A description loses its own trailing "(...)"; the patterns of a pair
// (separated by ';') are listed with their upper- and lower-case forms, since
// the pairs are meant to match regardless of case; "*.*" becomes "*" so that
// names without a dot match too. A description without a pattern is dropped;
// an empty or null filter gives an empty text.
std::string nameFilters(const char* filter);
