// The module's stored description in both forms: text -> binary -> text gives the same text, and the module
// built from the binary form has every published property of the one built from the text.
#include "plugin/QuantilawModule.h"
#include "runtime/BinaryStream.h"
#include "runtime/StreamWriter.h"

#include "tests/runtime/PublishedState.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>

using namespace ql;
using namespace ql::vst;
using namespace ql::quantilaw;

namespace {

struct TFree {
    void operator()(TComponent* c) const { TComponent::Free(c); }
};
using TModule = std::unique_ptr<TVST2Module1, TFree>;

TModule NewModule() { return TModule(CreateComponent<TVST2Module1>(nullptr)); }

/// The module's description as its file holds it, and without the comment lines it opens with.
std::string_view StoredText() {
    NewModule(); // registers the resources
    return FindResource("TVST2Module1");
}
std::string WithoutLeadingComments(std::string_view text) {
    return std::regex_replace(std::string(text), std::regex("^([ \t]*//[^\n]*\n)+"), "");
}

} // namespace

TEST(ModuleDescription, TextToBinaryToTextGivesTheSameText) {
    const std::string_view text = StoredText();
    ASSERT_FALSE(text.empty());
    const std::vector<uint8_t> binary = WriteBinaryDescription(ParseDescription(text));
    EXPECT_LT(binary.size(), text.size());
    EXPECT_EQ(PrintDescription(ReadBinaryDescription(binary)), WithoutLeadingComments(text));
}

TEST(ModuleDescription, TheModuleFromTheBinaryFormEqualsTheOneFromText) {
    const std::string_view text = StoredText();
    const std::vector<uint8_t> binary = WriteBinaryDescription(ParseDescription(text));
    TModule fromText = NewModule();
    // The resource may hold either form; put the text back whatever happens.
    struct TRestore {
        std::string_view text;
        ~TRestore() { RegisterResource("TVST2Module1", text.data(), text.size()); }
    } restore{text};
    RegisterResource("TVST2Module1", binary.data(), binary.size());
    TModule fromBinary = NewModule();
    ASSERT_TRUE(IsBinaryDescription(FindResource("TVST2Module1"))); // it was read from the binary form

    // Every published property, collections and handler bindings included, the same; and written the
    // same way.
    test::ExpectSamePublishedState(*fromBinary, *fromText);
    const std::string a = PrintDescription(fromText->WriteDescription());
    EXPECT_EQ(PrintDescription(fromBinary->WriteDescription()), a);
    EXPECT_NE(a.find("OnProcessReplacing = VST2ModuleProcessQuantilaw"), std::string::npos) << a;
    EXPECT_NE(a.find("VSTModule = Owner"), std::string::npos) << a;

    EXPECT_EQ(fromBinary->EffectName(), "Quantilaw");
    EXPECT_EQ(fromBinary->UniqueID(), "QlWv");
    const TCustomVstParameterProperty& p = *fromBinary->ParameterProperties()->Items(0);
    EXPECT_EQ(p.Max(), 24.0f);
    EXPECT_EQ(p.VSTModule(), fromBinary.get());
    EXPECT_EQ(fromBinary->OnProcessReplacing().code(), fromText->OnProcessReplacing().code());
    EXPECT_EQ(fromBinary->OnProcessReplacing().data(), static_cast<void*>(fromBinary.get()));
    EXPECT_EQ(fromBinary->QuantiserState().QuantSteps(), 7.0f);
}
