#pragma once
// Undo and redo of the changes to one image.
//
// A change is bracketed by Begin (before anything is touched) and Commit (after). A
// step keeps the state of the image on its side of the change: on the undo side the
// state before, on the redo side the state after. It always holds the small parts
// (size, Min/Max, FixedRange, scan parameters, Transformed, palette, history) and only
// those large parts that the change altered: the samples, the marks. A change that
// negates the samples keeps none, as negating again restores them bit for bit.
//
// Each image has at most Steps steps; all images together keep at most Bytes of
// snapshots. Beyond either limit the oldest undo steps go first (for the memory, the
// oldest of all images; redo steps only when no image has an undo step left). The
// stacks belong to the user-interface thread.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ImageDoc.h"

// What a change does to the samples, said when it begins.
enum class TSampleChange {
    Any,     // may change them, the size included: they are kept for comparison
    None,    // leaves them as they are (colour range, palette, units)
    Negate,  // negates every one of them: its own inverse, nothing kept
};

struct TUndoLimits {
    int Steps = 32;                          // per image
    size_t Bytes = size_t(1024) << 20;       // all images together
};

class TUndoStack {
public:
    TUndoStack();
    ~TUndoStack();
    TUndoStack(const TUndoStack&) = delete;
    TUndoStack& operator=(const TUndoStack&) = delete;

    // Notes the state of doc before a change. A change begun before and not committed
    // is forgotten.
    void Begin(const TImageDoc& doc, TSampleChange how = TSampleChange::Any);
    // Ends the change: when doc differs from the state Begin saw, one step named name
    // (empty: after the first history entry the change added) goes on the undo side
    // and the redo side is emptied. False when nothing changed (no step).
    bool Commit(const TImageDoc& doc, const std::string& name = {});
    bool Pending() const { return pending_.has_value(); }

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    int UndoCount() const { return static_cast<int>(undo_.size()); }
    int RedoCount() const { return static_cast<int>(redo_.size()); }
    // Names of the next step to undo / redo (empty when there is none).
    std::string UndoName() const;
    std::string RedoName() const;
    // Restores doc to the state before the last step (after the next redo step); the
    // state it leaves goes to the other side. False when there is nothing to do.
    // Restoring a size needs memory for the samples: without it std::bad_alloc, doc
    // and the stack unchanged.
    bool Undo(TImageDoc& doc);
    bool Redo(TImageDoc& doc);

    // The current state is the one last opened or saved.
    void MarkSaved();
    // No state on the stack is saved (an image made by a command).
    void MarkUnsaved();
    // The current state differs from the saved one (or that one is no longer known).
    bool Modified() const;

    // Snapshot bytes held by this stack.
    size_t Bytes() const;

    static void SetLimits(const TUndoLimits& limits);
    static TUndoLimits Limits();
    // Snapshot bytes held by all stacks.
    static size_t TotalBytes();

    struct TState {
        int32_t Rows = 0, Cols = 0;
        float Min = 0, Max = 0;
        int32_t FixedRange = 0;
        TScanPara Para;
        bool Transformed = false;
        TLogPalette Palette;
        std::vector<std::string> History;
        bool HasSamples = false;
        std::vector<float> Samples;
        bool HasMarks = false;
        TMarks Marks;
        size_t Bytes() const;
    };

private:
    struct TStep {
        std::string Name;
        bool Negate = false;
        TState State;
        uint64_t Seq = 0;
    };
    bool Move(TImageDoc& doc, std::vector<TStep>& from, std::vector<TStep>& to);
    void DropOldestUndo();
    void DropFurthestRedo();
    static void Enforce();

    std::vector<TStep> undo_, redo_;  // back(): the step next to the current state
    std::optional<TState> pending_;
    TSampleChange pendingHow_ = TSampleChange::Any;
    // The saved state, counted as undo_.size() would be there; unknown when not set.
    std::optional<long> saved_ = 0L;
};

// The step name of a history entry ("level:Lines:1" -> "Leveling").
std::string UndoStepName(const std::string& historyEntry);
