#include "tools/dev-service/dev_pages.h"

namespace orvane_dev::pages {
namespace {

std::string page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + escape(title) +
           "</title></head>\n<body><h1>" + escape(title) + "</h1>\n" + body + "\n</body></html>\n";
}

std::string userChoices(const std::vector<DevUser>& users, const std::string& selectedId) {
    std::string html;
    for (std::size_t i = 0; i < users.size(); ++i) {
        const auto& u = users[i];
        const bool checked = u.id == selectedId || (selectedId.empty() && i == 0);
        html += "<label><input type=\"radio\" name=\"user\" value=\"" + escape(u.id) + "\"" +
                (checked ? " checked" : "") + "> " + escape(u.email) + " (" + escape(u.type) +
                ")</label><br>\n";
    }
    return html;
}

}  // namespace

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string login(const std::string& next, const std::vector<DevUser>& users) {
    return page("Sign in to Orvane (development)",
                "<form method=\"post\" action=\"/login\">\n" + userChoices(users, "") +
                    "<input type=\"hidden\" name=\"next\" value=\"" + escape(next) +
                    "\">\n"
                    "<button type=\"submit\">Sign in</button></form>");
}

std::string authenticate(const std::string& action, const std::vector<DevUser>& users,
                         const std::string& signedInUserId) {
    return page("Authorize the storage gateway",
                "<p>The storage gateway on this computer asks to act on your behalf.</p>\n"
                "<form method=\"post\" action=\"" +
                    escape(action) + "\">\n" + userChoices(users, signedInUserId) +
                    "<button type=\"submit\">Authorize</button></form>");
}

std::string authorized(const DevUser& user) {
    return page("Signed in", "<p>Signed in as " + escape(user.email) +
                                 ". You can close this window and return to the application.</p>");
}

std::string storageSettings(const nlohmann::json& storage) {
    return page("Storage settings: " + storage.value("name", std::string()),
                "<pre>" + escape(storage.dump(2)) + "</pre>");
}

std::string message(const std::string& title, const std::string& text) {
    return page(title, "<p>" + escape(text) + "</p>");
}

}  // namespace orvane_dev::pages
