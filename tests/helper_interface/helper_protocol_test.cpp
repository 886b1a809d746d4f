#include "helper_interface/helper_protocol.h"

#include <gtest/gtest.h>

namespace {

using platform::parseMethodEncoding;
using platform::TypeEncoding;
using Kind = TypeEncoding::Kind;

TypeEncoding object(std::string className) { return {Kind::Object, std::move(className), {}}; }
TypeEncoding block(std::vector<TypeEncoding> args) { return {Kind::Block, "", std::move(args)}; }

TEST(HelperProtocol, EveryMethodParsesToItsArgumentsAndReply) {
    struct Expected {
        std::string_view selector;
        std::vector<TypeEncoding> arguments;
    };
    const std::vector<Expected> helper = {
        {"getVersionWithCompletion:", {block({object("NSString")})}},
        {"runQorLaunchctlWithSubcommand:completion:",
         {object("NSString"), block({object("NSNumber")})}},
        {"runQorLaunchctlWithSubcommand:authData:completion:",
         {object("NSString"), object("NSData"), block({object("NSNumber")})}},
        {"createLogDirectoryWithCompletion:", {block({object("NSString"), object("NSError")})}},
    };
    ASSERT_EQ(HelperProtocol.methods.size(), helper.size());
    for (std::size_t i = 0; i < helper.size(); ++i) {
        SCOPED_TRACE(helper[i].selector);
        EXPECT_EQ(HelperProtocol.methods[i].selector, helper[i].selector) << "in order";
        const auto signature = parseMethodEncoding(HelperProtocol.methods[i].typeEncoding);
        ASSERT_TRUE(signature);
        EXPECT_EQ(signature->returnType.kind, Kind::Void);
        EXPECT_EQ(signature->arguments, helper[i].arguments);
        EXPECT_NE(signature->replyArguments(), nullptr);
    }
    for (auto selector : {"logWithStdOut:", "logWithStdErr:"}) {
        const auto* method = AppProtocol.method(selector);
        ASSERT_NE(method, nullptr);
        const auto signature = parseMethodEncoding(method->typeEncoding);
        ASSERT_TRUE(signature);
        EXPECT_EQ(signature->arguments, std::vector<TypeEncoding>{object("NSString")});
        EXPECT_EQ(signature->replyArguments(), nullptr) << "one way";
    }
    EXPECT_EQ(HelperProtocol.method("logWithStdOut:"), nullptr);
    EXPECT_EQ(AppProtocol.method("getVersionWithCompletion:"), nullptr);
}

TEST(HelperProtocol, MalformedEncodingsAreRejected) {
    for (std::string_view bad : {"", "v", "v24", "v24@0", "v24@0:8@", "v24@0:8@\"NSString16",
                                 "v24@0:8@\"\"16", "v24@0:8@?<v@\"NSString\">16",
                                 "v24@0:8@?<v@?@\"NSString\"16", "v24@0:8i16", "v24@0:8v16",
                                 "v24:0@8"}) {
        EXPECT_FALSE(parseMethodEncoding(bad)) << bad;
    }
    const auto bareId = parseMethodEncoding("@16@0:8");
    ASSERT_TRUE(bareId);
    EXPECT_EQ(bareId->returnType, object(""));
}

}  // namespace
