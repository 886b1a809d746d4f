#include "helper_interface/helper_protocol.h"

#include <gtest/gtest.h>

namespace {

using platform::parseMethodEncoding;

// What each method takes is checked call by call in the wire tests; here, that every encoding
// parses and that only the app's log methods go one way.
TEST(HelperProtocol, EveryEncodingParsesAndOnlyTheLogMethodsAreOneWay) {
    for (const auto* protocol : {&HelperProtocol, &AppProtocol}) {
        for (const auto& method : protocol->methods) {
            SCOPED_TRACE(method.selector);
            const auto signature = parseMethodEncoding(method.typeEncoding);
            ASSERT_TRUE(signature);
            EXPECT_EQ(signature->replyArguments() == nullptr, protocol == &AppProtocol);
        }
    }
    EXPECT_EQ(HelperProtocol.methods.size(), 4u);
    EXPECT_EQ(AppProtocol.methods.size(), 2u);
}

TEST(HelperProtocol, MalformedEncodingsAreRejected) {
    for (std::string_view bad :
         {"", "v", "v24", "v24@0", "v24@0:8@", "v24@0:8@\"NSString16", "v24@0:8@\"\"16",
          "v24@0:8@?<v@\"NSString\">16", "v24@0:8@?<v@?@\"NSString\"16", "v24@0:8i16", "v24@0:8v16",
          "v24:0@8"}) {
        EXPECT_FALSE(parseMethodEncoding(bad)) << bad;
    }
    const auto bareId = parseMethodEncoding("@16@0:8");
    ASSERT_TRUE(bareId);
    EXPECT_EQ(bareId->returnType,
              (platform::TypeEncoding{platform::TypeEncoding::Kind::Object, "", {}}));
}

}  // namespace
