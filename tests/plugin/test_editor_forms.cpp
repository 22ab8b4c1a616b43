// The editor's stored description in both forms: text -> binary -> text gives the same text, and the
// editor built from the binary form equals the one built from the text, pictures and bindings included.
#include "plugin/QuantilawGUI.h"
#include "runtime/BinaryStream.h"
#include "runtime/StreamWriter.h"

#include "tests/runtime/PublishedState.h"
#include "tests/toolkit/ToolkitTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <regex>

using namespace ql;
using namespace ql::quantilaw;

namespace {

struct TFree {
    void operator()(TComponent* c) const { TComponent::Free(c); }
};
using TEditor = std::unique_ptr<TFmQuantilaw, TFree>;

class EditorDescription : public test::HeadlessTest {
  protected:
    static TEditor NewEditor() { return TEditor(CreateComponent<TFmQuantilaw>(nullptr)); }
    /// The editor's description as its file holds it.
    static std::string_view StoredText() {
        NewEditor(); // registers the resources
        return FindResource("TFmQuantilaw");
    }
};

std::string WithoutLeadingComments(std::string_view text) {
    return std::regex_replace(std::string(text), std::regex("^([ \t]*//[^\n]*\n)+"), "");
}

} // namespace

TEST_F(EditorDescription, TextToBinaryToTextGivesTheSameText) {
    const std::string_view text = StoredText();
    ASSERT_FALSE(text.empty());
    ASSERT_FALSE(IsBinaryDescription(text));
    const std::vector<uint8_t> binary = WriteBinaryDescription(ParseDescription(text));
    EXPECT_LT(binary.size(), text.size());
    EXPECT_EQ(PrintDescription(ReadBinaryDescription(binary)), WithoutLeadingComments(text));
}

TEST_F(EditorDescription, TheEditorFromTheBinaryFormEqualsTheOneFromText) {
    const std::string_view text = StoredText();
    const std::vector<uint8_t> binary = WriteBinaryDescription(ParseDescription(text));
    TEditor fromText = NewEditor();
    // The resource may hold either form; put the text back whatever happens.
    struct TRestore {
        std::string_view text;
        ~TRestore() { RegisterResource("TFmQuantilaw", text.data(), text.size()); }
    } restore{text};
    RegisterResource("TFmQuantilaw", binary.data(), binary.size());
    TEditor fromBinary = NewEditor();
    ASSERT_TRUE(IsBinaryDescription(FindResource("TFmQuantilaw"))); // it was read from the binary form

    test::ExpectSamePublishedState(*fromBinary, *fromText);
    const std::string a = PrintDescription(fromText->WriteDescription());
    EXPECT_EQ(PrintDescription(fromBinary->WriteDescription()), a);
    // The same components, bindings and pixels.
    ASSERT_NE(fromBinary->Kompressor, nullptr);
    ASSERT_NE(fromBinary->LbQ, nullptr);
    EXPECT_EQ(fromBinary->Kompressor->OnClick,
              TNotifyEvent::Of<&TFmQuantilaw::QuantilawClick>(fromBinary.get()));
    EXPECT_EQ(fromBinary->LbQ->OnMouseDown, TMouseEvent::Of<&TFmQuantilaw::LbQMouseDown>(fromBinary.get()));
    for (int i = 0; i < 2; ++i) {
        const TMemoryDIB* x = fromText->DIBImages->DIBImages().Items(i)->RawDIB();
        const TMemoryDIB* y = fromBinary->DIBImages->DIBImages().Items(i)->RawDIB();
        ASSERT_EQ(x->Width(), y->Width());
        ASSERT_EQ(x->Height(), y->Height());
        EXPECT_EQ(std::memcmp(x->Bits(), y->Bits(), std::size_t{x->Width()} * x->Height() * 4), 0) << i;
    }
}
