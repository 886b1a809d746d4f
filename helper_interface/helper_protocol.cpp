#include "helper_interface/helper_protocol.h"

using platform::ProtocolDescription;

const ProtocolDescription HelperProtocol{
    "HelperProtocol",
    {
        {helper_selectors::getVersion, "v24@0:8@?<v@?@\"NSString\">16"},
        {helper_selectors::runLaunchctl, "v32@0:8@\"NSString\"16@?<v@?@\"NSNumber\">24"},
        {helper_selectors::runLaunchctlWithAuthData,
         "v40@0:8@\"NSString\"16@\"NSData\"24@?<v@?@\"NSNumber\">32"},
        {helper_selectors::createLogDirectory, "v24@0:8@?<v@?@\"NSString\"@\"NSError\">16"},
    }};

const ProtocolDescription AppProtocol{
    "AppProtocol",
    {
        {helper_selectors::logWithStdOut, "v24@0:8@\"NSString\"16"},
        {helper_selectors::logWithStdErr, "v24@0:8@\"NSString\"16"},
    }};
