// Compares two objects through their published properties, as a reader of stored descriptions sees them.
#pragma once

#include <gtest/gtest.h>

#include "runtime/Classes.h"

#include <set>
#include <string>

namespace ql::test {

/// Whether `o` is a component (the runtime does not know the toolkit's class, only its name).
inline bool IsComponent(const TObject& o) {
    for (const TClassInfo* c = &o.ClassType(); c; c = c->Parent())
        if (c->Name() == "TComponent") return true;
    return false;
}

/// Expects `a` and `b` to be of one class and to agree on every published property except those named in
/// `skip`: numbers, texts, sets, the code of bound handlers (each is bound to its own object), owned
/// sub-objects and collections item by item. Referenced objects that are components are only compared by
/// class, since each object refers to its own.
inline void ExpectSamePublishedState(const TObject& a, const TObject& b,
                                     const std::set<std::string>& skip = {}, const std::string& path = {}) {
    const std::string where = path.empty() ? a.ClassName() : path;
    ASSERT_EQ(a.ClassName(), b.ClassName()) << where;
    for (const TPropInfo* p : a.ClassType().AllProperties()) {
        if (skip.count(p->Name)) continue;
        const std::string at = where + "." + p->Name;
        switch (p->Kind) {
        case TTypeKind::Integer:
        case TTypeKind::Boolean:
        case TTypeKind::Enumeration:
        case TTypeKind::Set:
            EXPECT_EQ(p->GetOrd(a), p->GetOrd(b)) << at;
            break;
        case TTypeKind::Float:
            EXPECT_EQ(p->GetFloat(a), p->GetFloat(b)) << at;
            break;
        case TTypeKind::String:
            EXPECT_EQ(p->GetStr(a), p->GetStr(b)) << at;
            break;
        case TTypeKind::Method:
            EXPECT_EQ(p->GetMethod(a).code, p->GetMethod(b).code) << at;
            break;
        case TTypeKind::Binary:
            EXPECT_EQ(p->GetBinary(a), p->GetBinary(b)) << at;
            break;
        case TTypeKind::Class: {
            const TObject* x = p->GetObject(a);
            const TObject* y = p->GetObject(b);
            ASSERT_EQ(x == nullptr, y == nullptr) << at;
            if (!x) break;
            if (const auto* cx = dynamic_cast<const TCollection*>(x)) {
                const auto* cy = dynamic_cast<const TCollection*>(y);
                ASSERT_NE(cy, nullptr) << at;
                ASSERT_EQ(cx->Count(), cy->Count()) << at;
                for (int i = 0; i < cx->Count(); ++i)
                    ExpectSamePublishedState(*cx->Items(i), *cy->Items(i), skip,
                                             at + "[" + std::to_string(i) + "]");
            } else if (IsComponent(*x)) {
                EXPECT_EQ(x->ClassName(), y->ClassName()) << at;
            } else {
                ExpectSamePublishedState(*x, *y, skip, at);
            }
            break;
        }
        }
    }
}

} // namespace ql::test
