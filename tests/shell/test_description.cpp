// Loading a module from its stored description: stored order, handler binding by name, creation order,
// descendants reading their ancestors' descriptions, and a class without a description.
#include "ShellTestSupport.h"
#include "toolkit/Application.h"

#include <gtest/gtest.h>

using namespace ql;
using namespace ql::vst;
using namespace ql::vst::testing;

namespace {

struct TProbeLog {
    static inline std::vector<std::string> entries;
};

class TProbe : public TVST2Module {
    QL_CLASS(TProbe)
  public:
    explicit TProbe(TComponent* owner) : TVST2Module(owner) {}
    void ProbeCreate(TObject*) {
        TProbeLog::entries.push_back("create");
        throw Exception("create failed");
    }
    void ProbeRate(TObject*, float rate) {
        TProbeLog::entries.push_back("rate " + std::to_string(int(rate)));
    }
    void ProbeInit(TObject* sender) {
        TProbeLog::entries.push_back("init " + static_cast<TCustomVstProgram*>(sender)->DisplayName());
    }
};

const TClassInfo& TProbe::StaticClass() {
    static TClassInfo info("TProbe", &TVST2Module::StaticClass);
    return info.Populate([](TClassInfo& i) {
        TClassBuilder<TProbe> b(i);
        b.Method<&TProbe::ProbeCreate, TNotifyEvent>("ProbeCreate", "TNotifyEvent");
        b.Method<&TProbe::ProbeRate, TSampleRateChangeEvent>("ProbeRate", "TSampleRateChangeEvent");
        b.Method<&TProbe::ProbeInit, TNotifyEvent>("ProbeInit", "TNotifyEvent");
    });
}

class TProbeChild : public TProbe {
    QL_CLASS(TProbeChild)
  public:
    explicit TProbeChild(TComponent* owner) : TProbe(owner) {}
};

const TClassInfo& TProbeChild::StaticClass() {
    static TClassInfo info("TProbeChild", &TProbe::StaticClass);
    return info;
}

class TNoDescription : public TVST2Module {
    QL_CLASS(TNoDescription)
  public:
    explicit TNoDescription(TComponent* owner) : TVST2Module(owner) {}
};

const TClassInfo& TNoDescription::StaticClass() {
    static TClassInfo info("TNoDescription", &TVST2Module::StaticClass);
    return info;
}

const char kProbeDescription[] = R"(object Probe: TProbe
  OldCreateOrder = True
  Flags = [pfFlagsIsSynth]
  SampleRate = 48000
  CurrentProgram = 1
  CurrentProgramName = 'Renamed'
  UniqueID = 'ABCDE'
  Programs = <
    item
      DisplayName = 'First'
      VSTModule = Owner
    end
    item
      DisplayName = 'Second'
      OnInitialize = ProbeInit
    end>
  ParameterProperties = <
    item
      DisplayName = 'Gain'
      Max = 2
    end>
  OnCreate = ProbeCreate
  OnSampleRateChange = ProbeRate
  Left = 1
  Top = 2
end
)";

class Description : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterResource("TProbe", kProbeDescription, sizeof kProbeDescription - 1);
        TProbeLog::entries.clear();
    }
};

TEST_F(Description, PropertiesApplyInStoredOrderAndLoadingEndsWithProgramZero) {
    const int exceptions = Application()->ExceptionCount();
    TOwned<TProbe> m(CreateComponent<TProbe>(nullptr));
    EXPECT_EQ(m->CurrentProgram(), 0);
    EXPECT_EQ(m->numPrograms(), 2);
    EXPECT_EQ(m->Programs()->Items(0)->DisplayName(), "First");
    EXPECT_EQ(m->Programs()->Items(1)->DisplayName(), "Second");
    EXPECT_EQ(m->Programs()->Items(0)->VSTModule(), m.get());
    EXPECT_EQ(m->numParams(), 1);
    EXPECT_EQ(m->Programs()->Items(1)->ParameterValues().Count(), 1);
    EXPECT_EQ(m->UniqueID(), "ABCD");
    EXPECT_EQ(m->GetEffect()->flags, 256);
    EXPECT_EQ(m->Left(), 1);
    EXPECT_EQ(m->SampleRate(), 48000.0f);
    // The rate was stored before its event was bound, so nothing heard of it; OnCreate fired once, during
    // loading (OldCreateOrder), and its failure went to the application.
    EXPECT_EQ(TProbeLog::entries, (std::vector<std::string>{"init Second", "create"}));
    EXPECT_EQ(Application()->ExceptionCount(), exceptions + 1);
    EXPECT_EQ(Application()->LastExceptionMessage(), "create failed");
}

TEST_F(Description, DescendantsReadTheirAncestorsDescription) {
    TOwned<TProbeChild> m(CreateComponent<TProbeChild>(nullptr));
    EXPECT_EQ(m->numPrograms(), 2);
    EXPECT_EQ(m->UniqueID(), "ABCD");
}

TEST_F(Description, AClassWithoutADescriptionIsRefused) {
    try {
        CreateComponent<TNoDescription>(nullptr);
        FAIL();
    } catch (const EResNotFound& e) {
        EXPECT_STREQ(e.what(), "Resource TNoDescription not found");
    }
    TOwned<TVST2Module> plain(
        CreateComponent<TVST2Module>(nullptr)); // the framework class itself reads nothing
    EXPECT_EQ(plain->UniqueID(), "NoEf");
}

TEST_F(Description, ReadOnlyPropertiesCannotBeStored) {
    const char text[] = "object Probe: TProbe\n  About = 'mine'\nend\n";
    RegisterResource("TProbe", text, sizeof text - 1);
    EXPECT_THROW(CreateComponent<TProbe>(nullptr), EReadError);
    const char bind[] = "object Probe: TProbe\n  OnSampleRateChange = ProbeCreate\nend\n";
    RegisterResource("TProbe", bind, sizeof bind - 1);
    EXPECT_THROW(CreateComponent<TProbe>(nullptr), EReadError); // a handler of another event type
}

} // namespace
