#include "platform/win32/win_com.h"

#include <gtest/gtest.h>

#include <ocidl.h>

#include <utility>

#include "browser_doubles.h"

namespace kx {
namespace {

using test::CountedDispatch;

TEST(ComPtr, EveryReferenceItTakesIsGivenBack) {
    CountedDispatch object;
    {
        const ComPtr<IDispatch> shared = ComPtr<IDispatch>::Share(&object);
        EXPECT_EQ(object.References(), 2u);
        ComPtr<IDispatch> copy = shared;
        EXPECT_EQ(object.References(), 3u);
        ComPtr<IDispatch> moved = std::move(copy);
        EXPECT_FALSE(copy);
        EXPECT_EQ(object.References(), 3u);
        moved = shared;  // the same object again: one reference each
        EXPECT_EQ(object.References(), 3u);
        moved = nullptr;
        EXPECT_EQ(object.References(), 2u);
    }
    EXPECT_EQ(object.References(), 1u);
}

TEST(ComPtr, TakesOverANewReferenceAndGivesItUpOnRequest) {
    CountedDispatch object;
    object.AddRef();  // as a call that hands out a new reference would
    {
        ComPtr<IDispatch> taken = ComPtr<IDispatch>::Take(&object);
        EXPECT_EQ(object.References(), 2u);
        IDispatch* released = taken.release();
        EXPECT_EQ(released, &object);
        EXPECT_EQ(object.References(), 2u);
        released->Release();
    }
    EXPECT_EQ(object.References(), 1u);
}

TEST(ComPtr, WhereACallPutsANewReferenceWhatWasHeldGoesFirst) {
    CountedDispatch first;
    CountedDispatch second;
    ComPtr<IDispatch> held = ComPtr<IDispatch>::Share(&first);
    IDispatch** slot = held.put();
    EXPECT_EQ(first.References(), 1u);
    EXPECT_EQ(*slot, nullptr);
    second.AddRef();
    *slot = &second;
    EXPECT_EQ(held.get(), &second);
    held.reset();
    EXPECT_EQ(second.References(), 1u);
}

TEST(ComPtr, AQueryThatFailsLeavesNothingAndOneThatSucceedsHoldsItsAnswer) {
    CountedDispatch object;
    const ComPtr<IDispatch> held = ComPtr<IDispatch>::Share(&object);
    {
        ComPtr<IUnknown> unknown = ComPtr<IUnknown>::Share(&object);
        EXPECT_EQ(held.Query(IID_IConnectionPointContainer, unknown), E_NOINTERFACE);
        EXPECT_FALSE(unknown);
        EXPECT_EQ(object.References(), 2u);
        EXPECT_EQ(held.Query(IID_IUnknown, unknown), S_OK);
        EXPECT_EQ(unknown.get(), static_cast<IUnknown*>(&object));
        EXPECT_EQ(object.References(), 3u);
    }
    EXPECT_EQ(object.References(), 2u);
    ComPtr<IUnknown> out;
    EXPECT_EQ(ComPtr<IDispatch>().Query(IID_IUnknown, out), E_POINTER);
}

TEST(Bstr, TextsKeepTheirZerosAndANullBstrIsEmpty) {
    EXPECT_EQ(BstrText(nullptr), u"");
    const std::u16string text(u"a\0b\xE9", 4);
    const UniqueBstr copy(NewBstr(text));
    ASSERT_TRUE(copy);
    EXPECT_EQ(SysStringLen(copy.get()), 4u);
    EXPECT_EQ(BstrText(copy.get()), text);
    const UniqueBstr empty(NewBstr(u""));
    ASSERT_TRUE(empty);
    EXPECT_EQ(BstrText(empty.get()), u"");
}

TEST(UniqueVariant, GivesBackWhatItHoldsWhenReusedAndWhenItGoes) {
    CountedDispatch object;
    {
        UniqueVariant value;
        EXPECT_EQ(value.type(), VT_EMPTY);
        VARIANT* slot = value.put();
        V_VT(slot) = VT_DISPATCH;
        V_DISPATCH(slot) = &object;
        object.AddRef();
        EXPECT_EQ(object.References(), 2u);
        value.put();
        EXPECT_EQ(object.References(), 1u);
        EXPECT_EQ(value.type(), VT_EMPTY);
        V_VT(&value.get()) = VT_DISPATCH;
        V_DISPATCH(&value.get()) = &object;
        object.AddRef();
    }
    EXPECT_EQ(object.References(), 1u);
}

}  // namespace
}  // namespace kx
