#include "tests/support/exprdump.h"

namespace trilette {

namespace {

const char *kindName(ExprKind kind)
{
    static const char *const names[]
        = {"or",  "xor", "and", "eq",  "ne",  "lt",  "gt",  "le",  "ge",
           "add", "sub", "mul", "div", "mod", "pow", "not", "neg", "plus"};
    return names[static_cast<int>(kind)];
}

} // namespace

std::string dumpExpr(const Expr &expr)
{
    std::string out;
    if (expr.isEmpty())
        return out;
    struct Step
    {
        uint32_t node, next;
    };
    std::vector<Step> stack {{expr.root(), 0}};
    while (!stack.empty()) {
        const Step step = stack.back();
        const ExprNode &node = expr.node(step.node);
        if (isLeaf(node.kind)) {
            out += expr.text(node);
            stack.pop_back();
            continue;
        }
        if (step.next == 0) {
            if (node.kind == ExprKind::Call)
                out.append("call ").append(expr.prefix(node));
            else if (node.kind != ExprKind::Paren)
                out += kindName(node.kind);
            out += '(';
        }
        if (step.next == node.childCount) {
            out += ')';
            stack.pop_back();
            continue;
        }
        if (step.next > 0)
            out += ", ";
        ++stack.back().next;
        stack.push_back({expr.child(node, step.next), 0});
    }
    return out;
}

} // namespace trilette
