#pragma once

#include "net/net.h"
#include "net/priorities.h"
#include "st/names.h"
#include "util/diagnostic.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trilette {

/// The unit of the numbers of a net's time intervals.
enum class TimeUnit { Milliseconds, Seconds, Minutes };

/// The IEC 61131-3 type of a declared variable.
enum class VariableType { Bool, Dint, Timer };

/// The IEC 61131-3 name of a variable's type: BOOL, DINT or TON.
const char *typeName(VariableType type);

/// One variable that a complete program declares.
struct Variable
{
    std::string identifier;
    /// The name as the net writes it (an input's spelling in the predicates), empty for the
    /// program's own variables.
    std::string name;
    VariableType type = VariableType::Bool;
    /// The initial value, for a marking variable.
    int32_t initial = 0;
    bool hasInitial = false;
    /// What the variable stands for, for a comment beside its declaration ("place {Data
    /// packet}"), empty when its name is the net's own.
    std::string comment;
};

/// The variables of a BLOC F written as a loop over its firing blocks (see writeProgramBody):
/// the number of the block at hand, whether a firing happened since the flags were last set, and
/// for each transition that has priority over another (by index, empty for the others) a flag
/// that it or a transition above it can fire.
struct BlockLoop
{
    std::string block, fired;
    std::vector<std::string> flags;
};

/// Called now and then during a long piece of work; throws to stop it (a cancelled run). The
/// work holds nothing that the exception would leave behind.
using StopCheck = std::function<void()>;

/// What a complete program (a POU, or PLCopen XML) needs beyond the net: every name of the net
/// made a valid IEC 61131-3 identifier, the predicates written with those names, the timers of
/// the transitions that must wait, and the declarations. The names follow one deterministic
/// rule (see makeIdentifier); every name that changes gets a note.
class ProgramSymbols
{
public:
    /// Builds the symbols of `net`; `baseName` names the program. Notes for renamed names go to
    /// `diagnostics` under `fileName`. `stop`, when given, is called every few thousand names.
    /// `priorities` are the run's, computed once; without them the symbols compute their own.
    ProgramSymbols(const Net &net, std::string_view baseName, TimeUnit unit,
                   std::string_view fileName, Diagnostics &diagnostics, const StopCheck &stop = {},
                   const Priorities *priorities = nullptr)
        : ProgramSymbols(net, baseName, unit, fileName, diagnostics, stop, priorities, nullptr)
    { }

    /// The priorities between the net's transitions, which the program's body obeys.
    const Priorities &priorities() const { return *priorities_; }

    /// The stem of a place's two marking variables (the identifier without its p or s).
    std::string_view place(std::string_view placeName) const;
    /// The identifier of an output of BLOC G.
    std::string_view output(std::string_view outputName) const;
    /// The condition of a transition, its predicate written with valid names ("TRUE" for none).
    const std::string &condition(const Transition &transition) const;
    /// The timer of a transition that must wait, or null.
    const std::string *timer(const Transition &transition) const;
    /// The time literal of a transition's earliest firing time ("T#4s").
    std::string preset(const Transition &transition) const;

    const std::string &programName() const { return programName_; }
    const std::vector<Variable> &inputs() const { return inputs_; }
    const std::vector<Variable> &outputs() const { return outputs_; }
    const std::vector<Variable> &locals() const { return locals_; }
    /// The variable that a firing block without any statement sets, since strict compilers refuse
    /// an empty THEN; empty when no transition needs it.
    const std::string &placeholder() const { return placeholder_; }
    /// The variables of BLOC F's loop, or null where BLOC F is written block after block.
    const BlockLoop *blockLoop() const { return loop_.block.empty() ? nullptr : &loop_; }
    /// The variable that holds a place's marking test in BLOC G (see markedFlagNeeded), or
    /// empty.
    const std::string &markedFlag(const Place &place) const
    {
        static const std::string none;
        return place.index < markedFlags_.size() ? markedFlags_[place.index] : none;
    }
    TimeUnit timeUnit() const { return unit_; }
    /// The unit as the header comment says it ("ms", "s", "min").
    const char *unitName() const;

private:
    friend void checkStNames(const Net &, std::string_view, Diagnostics &);
    /// With `only`, only the places and the outputs that meet it get their names (the names of
    /// the places and the outputs come first in a program, so no other name changes theirs):
    /// what the st format's checks quote.
    ProgramSymbols(const Net &net, std::string_view baseName, TimeUnit unit,
                   std::string_view fileName, Diagnostics &diagnostics, const StopCheck &stop,
                   const Priorities *priorities, const ClashKeys *only);

    struct Impl;
    std::unique_ptr<const Priorities> ownPriorities_;
    const Priorities *priorities_;
    std::string programName_;
    std::vector<Variable> inputs_, outputs_, locals_;
    std::string placeholder_;
    std::vector<std::string> conditions_, timers_;
    std::vector<std::pair<std::string, std::string>> places_, outputNames_;
    TimeUnit unit_;
    std::vector<int32_t> earliest_;
    BlockLoop loop_;
    std::vector<std::string> markedFlags_;
};

/// Reports, as warnings at their lines, the names that the st format writes as the net has them
/// (the two marking variables of each place, the outputs) and that are no ST identifier or are
/// reserved words, each with the spelling that a complete program gives it.
void checkStNames(const Net &net, std::string_view fileName, Diagnostics &diagnostics);

} // namespace trilette
