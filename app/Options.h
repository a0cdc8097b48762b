// CRunOptions: what the command line asks of one run.
#pragma once

#include "app/NameFilter.h"
#include "base/StringView.h"

#include <cstdint>

/// What the run does with the resources that the header libraries describe.
enum class ERunMode {
    /// Write each admitted resource to its own file, then the index files.
    Extract,
    /// Print one line per resource with the decision an extraction would take; write nothing.
    List,
    /// Print the languages that the containers admit; write nothing.
    Locales,
    /// Read every admitted resource completely; write nothing.
    Test,
    /// Compare what an extraction would write with the files of a tree; write nothing.
    Compare,
    /// Write a copy of the source whose extraction gives an edited tree.
    Reimport,
};

/// How much the run says on standard error beyond its failures.
enum class EVerbosity { Quiet, Normal, Verbose };

/// The accepted command line. The texts and patterns are borrowed from the program's arguments, which stay
/// in place for the whole run.
class CRunOptions {
public:
    ERunMode Mode = ERunMode::Extract;
    /// The listing or the comparison as one JSON object per line (list and compare modes only).
    bool Json = false;
    /// An archive that fails to mount is left out instead of ending the run.
    bool KeepGoing = false;
    /// A resource file that already exists with the size the run would write is kept without reading.
    bool SkipExisting = false;
    /// --compare and --reimport take a tree file of the right size that is older than the tree's name map as
    /// unchanged without reading it.
    bool Quick = false;
    EVerbosity Verbosity = EVerbosity::Normal;
    /// Number of writers; 0 means as many as the machine has processors, at most MaxJobs.
    uint32_t Jobs = 0;
    CNameFilter Filter;
    // The texts are the command line's own arguments, which end at a terminator.
    CStringViewA Source;
    /// Empty in the modes that write nothing.
    CStringViewA Output;
    /// The tree that an extraction wrote, for --compare and --reimport; empty otherwise.
    CStringViewA Tree;
    /// The content directory that --reimport writes; empty otherwise.
    CStringViewA Destination;
    CStringViewA Locale = "en";
    /// True when the command line named the locale (-locale), so that a locale no container lists is worth a
    /// warning.
    bool LocaleGiven = false;

    static constexpr uint32_t MaxJobs = 32;
};
