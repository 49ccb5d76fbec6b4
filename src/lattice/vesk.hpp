// Vesk, the small C-like language embedded in lattice files. A program text is
// cut into tokens, reduced to a tree by the rows of an operator table (the
// grammar is data: every construct is one row), and run: statements are
// executed, expressions evaluated over named variables, and every piece of
// plain text, together with every value a code stretch leaves behind, goes in
// order to the text callback. Vesk knows nothing about beamlines.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lattice/vesk_value.hpp"

inline constexpr int VESK_TLEN = 10;   // produced kind of an operator, with terminator
inline constexpr int VESK_OPLEN = 50;  // operator pattern, with terminator
inline constexpr int VESK_DELIMLEN = 50;

// Flags word of an environment.
inline constexpr int VESK_START_IN_TEXT = 1;   // the text starts in text mode
inline constexpr int VESK_NEWLINE_RESETS = 2;  // a newline returns to the starting mode

// Bounds that keep a hostile or broken lattice file from hanging or exhausting
// the machine of a volunteer. Each refusal is reported and stops the run.
inline constexpr size_t kVeskMaxText = size_t(16) << 20;  // bytes of program text
inline constexpr size_t kVeskMaxTokens = 1000000;         // tokens of one program
inline constexpr size_t kVeskMaxVariables = 200000;       // entries of the variable table
inline constexpr int kVeskMaxNesting = 1000;              // nested statements and operands
inline constexpr int64_t kVeskMaxLoopSteps = 10000000;    // loop bodies run by one run

struct Vesk;
struct VeskNode;

using VeskTextCallback = std::function<int(std::string_view text)>;
using VeskOpHandler = std::function<Value(VeskNode& node)>;

// One part of a compiled operator pattern.
struct VeskPart {
    bool placeholder = false;  // else a fragment
    bool spaced = false;       // white space before it in the pattern
    std::string text;          // placeholder text or fragment text
    int32_t fragment = -1;     // index in the fragment list, for fragments
};

// What running or evaluating a node of an operator does.
enum class VeskAction : uint8_t {
    None,
    // statements, by the start of the pattern
    While,
    Else,
    For,
    If,
    Do,
    // expressions
    Conditional,  // X ? X : X
    Binary,       // X op X
    Assign,       // Xl = X
    Compound,     // Xl op= X
    Call,         // Xl ( X )
    Index,        // Xl [ X ]
    Member,       // Xl . Xl
    Arrow,        // Xl -> Xl
    Paren,        // ( X )
    Print,        // X becoming Text
    Unary,        // + - ! ~ before an operand
    Increment,    // Xl ++
    Decrement,    // Xl --
};

// The arithmetic of a Binary or Compound row: false when there is no result
// (a remainder by zero).
using VeskBinaryFn = bool (*)(double x, double y, double& result);
// The arithmetic of a Unary row, on a number.
using VeskUnaryFn = Value (*)(const Value& a);

// One row of the operator table.
struct VeskOp {
    std::string out;   // kind produced; empty: the matched tokens are deleted
    std::string s;     // the pattern
    int prec = 0;      // lower first; odd associates from the right
    int nparts = 0;    // placeholders plus fragments
    int arity = 0;     // placeholders: the number of children of a node it builds
    VeskOpHandler op;  // evaluates nodes of this operator when set
    // What nodes of the row do, named by the row itself (built-in rows) and
    // kept as given: nothing reads it back from the pattern.
    VeskAction action = VeskAction::None;
    VeskBinaryFn binary = nullptr;  // Binary and Compound rows
    VeskUnaryFn unary = nullptr;    // Unary rows
    // Worked out from the pattern on insertion.
    std::vector<VeskPart> parts;
};

struct VeskVariable {
    Value value;
    std::string name;
    int depth = 0;
};

struct VeskNode {
    Vesk* env = nullptr;
    uint32_t start = 0, end = 0;  // source span, end exclusive
    int32_t index = -1;           // fragment index of "Opfrag", operator index of reduced nodes
    std::vector<std::unique_ptr<VeskNode>> children;
    Value value;  // its kind is the node's kind

    VeskNode() = default;
    VeskNode(const VeskNode&) = delete;
    VeskNode& operator=(const VeskNode&) = delete;
    ~VeskNode();  // tears long chains down without deep recursion
};

// The environment: one per interpreted lattice file.
struct Vesk {
    std::vector<VeskVariable> variables;
    int depth = 0;
    std::string open, close;  // delimiters; empty means none
    int flags = 0;
    VeskTextCallback callback;
    int stop = 0;             // non-zero: execution and evaluation return at once
    std::vector<VeskOp> ops;  // sorted by prec
    std::vector<std::string> fragments;
    // Write "vesktokenout.log" and "vesktreeout.log" on every parse.
    bool dumps = false;
    // Bounds of one run; tests lower them.
    int64_t maxLoopSteps = kVeskMaxLoopSteps;
    size_t maxTokens = kVeskMaxTokens;
    size_t maxVariables = kVeskMaxVariables;

    // Internal state.
    std::string program;  // text of the last parse; node spans point into it
    std::unordered_map<std::string, int32_t> variableIndex;  // name -> winning entry
    std::vector<std::vector<int32_t>> fragmentsByByte;       // longest first
    std::vector<VeskNode*> execStack;                        // statements waiting to run
    int nesting = 0;
    int64_t loopSteps = 0;
    bool variableLimitReported = false;
    // Source span of the text being handed to the callback: the text itself
    // for plain text, the code stretch for a printed value.
    uint32_t textStart = 0, textEnd = 0;
};

// --- environment and variables ---
std::unique_ptr<Vesk> Vesk_new();
void Vesk_setdelimiters(Vesk& env, std::string_view open, std::string_view close, int flags);
void Vesk_setcallback(Vesk& env, VeskTextCallback callback);
// Index of the variable named `name` (case matters): the entry of greatest
// depth, the latest among equals; a missing one is created empty.
int32_t Vesk_lookup(Vesk& env, std::string_view name);
Value& Vesk_variable(Vesk& env, std::string_view name);
// Sets a variable at the given depth (0: global), creating it there.
void Vesk_setvariable(Vesk& env, std::string_view name, const Value& value, int depth = 0);
// Refuses the rest of the run with a message (a bound was exceeded).
void Vesk_refuse(Vesk& env, const std::string& message);

// --- operator table ---
void Vesk_addop(Vesk& env, VeskOp op);
void Vesk_addop(Vesk& env, std::string_view s, std::string_view out, int prec,
                VeskOpHandler handler = nullptr);
void Vesk_custom_operators(Vesk& env);
// Index of the operator with this pattern, or -1.
int Vesk_findop(const Vesk& env, std::string_view s);

// --- tokens, trees, running ---
// The token list of `text` as the children of a "Root" node.
std::unique_ptr<VeskNode> Vesk_tokenize(Vesk& env, std::string_view text);
std::unique_ptr<VeskNode> Vesk_parse(Vesk& env, std::string_view text);
void Vesk_exec(VeskNode& node);
Value Vesk_eval(VeskNode& node);
// Parses, runs and frees; returns the stop flag (non-zero: the run was stopped).
int Vesk_run(Vesk& env, std::string_view text);

// Source text of a node.
std::string_view VeskNode_source(const VeskNode& node);
// One line per node, children indented below their parent.
std::string Vesk_dump(const VeskNode& node);
