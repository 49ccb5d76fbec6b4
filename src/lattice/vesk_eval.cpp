// Running a Vesk tree: statements are executed, expressions evaluated over the
// variables of the environment, and texts handed to the text callback.
#include <cmath>
#include <cstdint>

#include "common/text.hpp"
#include "lattice/vesk.hpp"
#include "platform/files.hpp"

namespace {

// Counts nested statements and operands; code nested deeper than the bound
// is refused rather than allowed to exhaust the stack.
class NestingGuard {
  public:
    explicit NestingGuard(Vesk& env) : env_(env) {
        ok_ = ++env_.nesting <= kVeskMaxNesting;
        if (!ok_) {
            Vesk_refuse(env_, format("[WARNING] Vesk code is nested more than %d levels deep; run "
                                     "stopped",
                                     kVeskMaxNesting));
        }
    }
    ~NestingGuard() { --env_.nesting; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
    bool ok() const { return ok_; }

  private:
    Vesk& env_;
    bool ok_;
};

// A lattice file must not be able to keep a volunteer's machine busy for ever.
bool countLoopStep(Vesk& env) {
    if (++env.loopSteps <= env.maxLoopSteps) return true;
    Vesk_refuse(env, format("[WARNING] Vesk loops ran more than %lld times; run stopped",
                            static_cast<long long>(env.maxLoopSteps)));
    return false;
}

const VeskOp* operatorOf(const VeskNode& node) {
    const Vesk& env = *node.env;
    if (node.index < 0 || static_cast<size_t>(node.index) >= env.ops.size()) return nullptr;
    if (Value_is(node.value, "Opfrag")) return nullptr;
    return &env.ops[static_cast<size_t>(node.index)];
}

// The variable an lvalue names, or nullptr for an lvalue without a name.
Value* variableOf(Vesk& env, const Value& lvalue) {
    if (lvalue.var >= 0 && static_cast<size_t>(lvalue.var) < env.variables.size()) {
        return &env.variables[static_cast<size_t>(lvalue.var)].value;
    }
    if (!lvalue.hasText) return nullptr;
    return &Vesk_variable(env, lvalue.text);
}

Value lvalueNamed(Vesk& env, std::string_view name) {
    return Value_lvalue(name, Vesk_lookup(env, name));
}

bool truth(VeskNode& node) {
    Value v = Vesk_eval(node);
    if (Value_islvalue(v)) {
        const Value* var = variableOf(*node.env, v);
        return var && Value_true(*var);
    }
    return Value_true(v);
}

Value call(std::string_view name, const Value& argument) {
    if (!Value_isnumber(argument)) return {};
    double x = argument.number;
    if (name == "int" || name == "floor") return Value_number(std::floor(x));
    if (name == "ceil") return Value_number(std::ceil(x));
    if (name == "sqrt") return Value_number(std::sqrt(x));
    if (name == "sin") return Value_number(std::sin(x));
    if (name == "cos") return Value_number(std::cos(x));
    if (name == "tan") return Value_number(std::tan(x));
    if (name == "exp") return Value_number(std::exp(x));
    if (name == "ln") return Value_number(std::log(x));
    return {};
}

Value evalTwo(Vesk& env, const VeskOp& op, Value& a, Value& b) {
    if (!Value_hasprefix(a, "X") || !Value_hasprefix(b, "X")) return {};
    if (!Value_islvalue(a)) {
        double r;
        if (op.action == VeskAction::Binary && op.binary && Value_isnumber(a) &&
            Value_isnumber(b) && op.binary(a.number, b.number, r)) {
            return Value_number(r);
        }
        return {};
    }
    switch (op.action) {
        case VeskAction::Assign: {
            Value* var = variableOf(env, a);
            if (var) *var = b;
            return b;
        }
        case VeskAction::Call:
            return call(a.text, b);
        case VeskAction::Index: {
            bool digitLast = !a.text.empty() && a.text.back() >= '0' && a.text.back() <= '9';
            return lvalueNamed(env, a.text + (digitLast ? "_" : "") + Value_print(b));
        }
        case VeskAction::Compound: {
            Value* var = variableOf(env, a);
            double r;
            if (!var || !op.binary || !Value_isnumber(*var) || !Value_isnumber(b) ||
                !op.binary(var->number, b.number, r)) {
                return {};
            }
            var->number = r;
            return *var;
        }
        case VeskAction::Member:
            if (!Value_islvalue(b)) return {};
            return lvalueNamed(env, a.text + "." + b.text);
        default:
            return {};
    }
}

Value evalOne(Vesk& env, const VeskOp& op, Value& a) {
    switch (op.action) {
        case VeskAction::Paren:
            return a;
        case VeskAction::Print:
            return Value_text(Value_print(a));
        case VeskAction::Unary:
            if (!op.unary || !Value_isnumber(a)) return {};
            return op.unary(a);
        case VeskAction::Increment:
        case VeskAction::Decrement: {
            if (!Value_islvalue(a)) return {};
            Value* var = variableOf(env, a);
            if (!var || !Value_isnumber(*var)) return {};
            var->number += op.action == VeskAction::Increment ? 1 : -1;
            return *var;
        }
        default:
            return {};
    }
}

void emitText(VeskNode& node) {
    Vesk& env = *node.env;
    Value v = Vesk_eval(node);
    if (env.stop) return;
    if (Value_is(v, "Text") && v.hasText) {
        env.textStart = node.start;
        env.textEnd = node.end;
        env.stop |= env.callback(v.text);
        return;
    }
    env.stop |= env.callback("No text found in Text node [see oddtree.log].");
    writeFileAtomic("oddtree.log", Vesk_dump(node));
}

std::string ifStatusName(const Vesk& env) {
    return format("+if%d", env.depth);
}

// Runs the statements that are more than a list of their children; false for
// a list, whose children the caller runs in order.
bool execSpecial(VeskNode& node) {
    Vesk& env = *node.env;
    size_t n = node.children.size();
    if (Value_is(node.value, "Text") && n < 2) {
        if (env.callback) emitText(node);
        return true;
    }
    if (Value_is(node.value, "X")) {
        Vesk_eval(node);
        return true;
    }
    const VeskOp* op = operatorOf(node);
    if (!op) return false;
    if (op->op) {
        VeskOpHandler handler = op->op;
        handler(node);
        return true;
    }
    auto child = [&](size_t i) -> VeskNode& { return *node.children[i - 1]; };
    switch (op->action) {
        case VeskAction::While:
            if (n < 2) return false;
            while (!env.stop && truth(child(1)) && countLoopStep(env)) Vesk_exec(child(2));
            return true;
        case VeskAction::Else:
            if (n < 1) return false;
            // Tied to the last if that ran, not to an if in the tree.
            if (Vesk_variable(env, ifStatusName(env)).number == 0) Vesk_exec(child(1));
            return true;
        case VeskAction::For:
            if (n < 4) return false;
            Vesk_eval(child(1));
            while (!env.stop && truth(child(2)) && countLoopStep(env)) {
                Vesk_exec(child(4));
                Vesk_eval(child(3));
            }
            return true;
        case VeskAction::If: {
            if (n < 2) return false;
            bool condition = truth(child(1));
            Vesk_variable(env, ifStatusName(env)) = Value_number(condition ? 1 : 0);
            if (condition) Vesk_exec(child(2));
            return true;
        }
        case VeskAction::Do:
            if (n < 2) return false;
            do {
                if (!countLoopStep(env)) break;
                Vesk_exec(child(1));
            } while (!env.stop && truth(child(2)));
            return true;
        default:
            return false;
    }
}

}  // namespace

void Vesk_exec(VeskNode& node) {
    Vesk& env = *node.env;
    if (env.stop) return;
    NestingGuard guard(env);
    if (!guard.ok() || execSpecial(node)) return;
    // Lists are left-deep chains as long as the file: run them from a stack
    // rather than by recursion.
    std::vector<VeskNode*>& stack = env.execStack;
    size_t base = stack.size();
    for (size_t i = node.children.size(); i-- > 0;) stack.push_back(node.children[i].get());
    while (stack.size() > base) {
        VeskNode* next = stack.back();
        stack.pop_back();
        if (env.stop || execSpecial(*next)) continue;
        for (size_t i = next->children.size(); i-- > 0;) stack.push_back(next->children[i].get());
    }
}

Value Vesk_eval(VeskNode& node) {
    Vesk& env = *node.env;
    if (env.stop) return {};
    NestingGuard guard(env);
    if (!guard.ok()) return {};

    const VeskOp* op = operatorOf(node);
    if (op && op->op) {
        VeskOpHandler handler = op->op;
        return handler(node);
    }

    size_t n = node.children.size();
    if (n == 0) {
        if (Value_hasprefix(node.value, "Xl")) {
            if (node.value.var >= 0) return node.value;
            return lvalueNamed(env, VeskNode_source(node));
        }
        if (node.value.kind[0] == 'X') return node.value;
        if (Value_is(node.value, "Text")) return Value_text(VeskNode_source(node));
        return {};
    }

    Value few[4];
    std::vector<Value> many;
    if (n > 4) many.resize(n);
    Value* values = n > 4 ? many.data() : few;
    for (size_t i = 0; i < n; i++) values[i] = Vesk_eval(*node.children[i]);
    if (env.stop || !op) return {};

    // An operand in an Xl place stays an lvalue; elsewhere it stands for its
    // variable's value, unless that is still empty.
    auto part = op->parts.begin();
    for (size_t i = 0; i < n; i++) {
        while (part != op->parts.end() && !part->placeholder) ++part;
        bool keepsLvalue = part != op->parts.end() && part->text.compare(0, 2, "Xl") == 0;
        if (part != op->parts.end()) ++part;
        if (keepsLvalue || !Value_islvalue(values[i])) continue;
        const Value* var = variableOf(env, values[i]);
        if (var && !Value_isempty(*var)) values[i] = *var;
    }

    if (n == 3) {
        if (op->action == VeskAction::Conditional && Value_isnumber(values[0]) &&
            Value_isnumber(values[1]) && Value_isnumber(values[2])) {
            return values[0].number != 0 ? values[1] : values[2];
        }
        return {};
    }
    if (n == 2) return evalTwo(env, *op, values[0], values[1]);
    if (n == 1) return evalOne(env, *op, values[0]);
    return {};
}
