#include "st/render.h"

namespace trilette {

std::string renderExpr(const Expr &expr, const Renamer &rename)
{
    const std::string &text = expr.text();
    std::string out;
    size_t copied = 0;
    for (const ExprNode &node : expr.nodes()) {
        if (node.kind != ExprKind::Name || !rename)
            continue;
        if (std::optional<std::string> name = rename(expr.text(node))) {
            out.append(text, copied, node.begin - copied).append(*name);
            copied = node.end;
        }
    }
    return out.append(text, copied, std::string::npos);
}

} // namespace trilette
