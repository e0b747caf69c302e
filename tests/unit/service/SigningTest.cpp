#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <string>

#include "ServiceClient.h"
#include "TextConversion.h"

namespace {

constexpr char kKey[] = "KmsTzRbNyHqLfPx";
constexpr char kSecret[] = "Tq4NfJw8RzKc2HbYm6PsVd3GxLe9UaZt";

// The signature as an independent implementation computes it over the string to sign.
std::string OpenSslSignature(const std::string& secret, const std::string& stringToSign)
{
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned macLength = 0;
    HMAC(EVP_sha1(), secret.data(), static_cast<int>(secret.size()),
         reinterpret_cast<const unsigned char*>(stringToSign.data()), stringToSign.size(), mac,
         &macLength);
    unsigned char encoded[64] = {};
    EVP_EncodeBlock(encoded, mac, static_cast<int>(macLength));
    return reinterpret_cast<const char*>(encoded);
}

// "+", "/" and "=" of a base64 text as the body writes them.
std::string BodyForm(const std::string& signature)
{
    std::string out;
    for (const char c : signature) {
        if (c == '+') {
            out += "%2B";
        } else if (c == '/') {
            out += "%2F";
        } else if (c == '=') {
            out += "%3D";
        } else {
            out += c;
        }
    }
    return out;
}

ServiceClient ClientAt(std::time_t now, std::string key = kKey, std::string secret = kSecret)
{
    ServiceClient client(std::move(key), std::move(secret), "http://127.0.0.1:1");
    client.SetClockForTesting([now] { return now; });
    return client;
}

TEST(Signing, WorkedExampleByteForByte)
{
    const ServiceClient client = ClientAt(1420070400);
    const SignedRequest r = client.SignRequestSteps(
        u"v1/userop/add", u"POST", u"type=0&code=S2_d01&remark=mac=00-1A-2B-3C-4D-5E,channel=0");

    const std::map<std::string, std::string> table = {
        {"app_key", kKey},
        {"code", "S2_d01"},
        {"remark", "mac=00-1A-2B-3C-4D-5E,channel=0"},
        {"sign", r.signature},
        {"time_stamp", "1420070400"},
        {"type", "0"},
    };
    EXPECT_EQ(r.parameters, table);
    EXPECT_EQ(r.canonical, std::string("app_key=") + kKey +
                               "&code=S2%5Fd01&remark=mac%3D00%2D1A%2D2B%2D3C%2D4D%2D5E%2Cchannel%"
                               "3D0&time_stamp=1420070400&type=0");
    EXPECT_EQ(r.stringToSign,
              std::string("POST&v1%2Fuserop%2Fadd&app_key%3D") + kKey +
                  "%26code%3DS2%255Fd01%26remark%3Dmac%253D00%252D1A%252D2B%252D3C%252D4D%252D5E%"
                  "252Cchannel%253D0%26time_stamp%3D1420070400%26type%3D0");

    const std::string expectedSignature = OpenSslSignature(kSecret, r.stringToSign);
    ASSERT_EQ(expectedSignature.size(), 28u);
    EXPECT_EQ(r.signature, expectedSignature);
    const std::string expectedBody =
        std::string("app_key=") + kKey +
        "&code=S2_d01&remark=mac%3D00-1A-2B-3C-4D-5E%2Cchannel%3D0&sign=" +
        BodyForm(expectedSignature) + "&time_stamp=1420070400&type=0";
    EXPECT_EQ(r.body, expectedBody);
    EXPECT_EQ(client.SignRequest(u"v1/userop/add", u"POST",
                                 u"type=0&code=S2_d01&remark=mac=00-1A-2B-3C-4D-5E,channel=0"),
              expectedBody);
}

TEST(Signing, VersionQueryWithoutParameters)
{
    const ServiceClient client = ClientAt(1420070400);
    const SignedRequest r = client.SignRequestSteps(u"v1/version/return_version", u"POST", u"");
    EXPECT_EQ(r.stringToSign, std::string("POST&v1%2Fversion%2Freturn_version&app_key%3D") + kKey +
                                  "%26time_stamp%3D1420070400");
    EXPECT_EQ(r.body, std::string("app_key=") + kKey +
                          "&sign=" + BodyForm(OpenSslSignature(kSecret, r.stringToSign)) +
                          "&time_stamp=1420070400");
}

struct EdgeCase
{
    const char* name;
    std::u16string params;
    std::u16string method;
    std::string canonical;  // J
    std::string body;       // "{sign}" stands for the signature as the body writes it
    std::string inStringToSign;
};

// Short credentials keep the expected texts readable; the key sorts like any other.
TEST(Signing, EdgeCases)
{
    const std::string sts = "&time_stamp=1000";
    const EdgeCase cases[] = {
        {"empty parameters: exactly app_key, sign, time_stamp", u"", u"POST",
         "app_key=AK&time_stamp=1000", "app_key=AK&sign={sign}&time_stamp=1000", ""},
        {"a caller's sign is discarded", u"sign=forged&x=1", u"POST",
         "app_key=AK&time_stamp=1000&x=1", "app_key=AK&sign={sign}&time_stamp=1000&x=1", ""},
        {"a caller's app_key and time_stamp are replaced", u"app_key=evil&time_stamp=1", u"POST",
         "app_key=AK&time_stamp=1000", "app_key=AK&sign={sign}&time_stamp=1000", ""},
        {"a key given twice keeps its last value", u"k=1&k=2", u"POST",
         "app_key=AK&k=2&time_stamp=1000", "app_key=AK&k=2&sign={sign}&time_stamp=1000", ""},
        {"empty token, bare word and leading = are dropped", u"a=1&&flag&=x", u"POST",
         "a=1&app_key=AK&time_stamp=1000", "a=1&app_key=AK&sign={sign}&time_stamp=1000", ""},
        {"an empty value is kept", u"k=", u"POST", "app_key=AK&k=&time_stamp=1000",
         "app_key=AK&k=&sign={sign}&time_stamp=1000", ""},
        {"the value keeps further = signs", u"remark=mac=1,2", u"POST",
         "app_key=AK&remark=mac%3D1%2C2&time_stamp=1000",
         "app_key=AK&remark=mac%3D1%2C2&sign={sign}&time_stamp=1000", ""},
        {"a token starting with = keys on the next =", u"=a=b", u"POST",
         "=a=b&app_key=AK&time_stamp=1000", "=a=b&app_key=AK&sign={sign}&time_stamp=1000", ""},
        {"keys are never encoded", u"a b=1", u"POST", "a b=1&app_key=AK&time_stamp=1000",
         "a b=1&app_key=AK&sign={sign}&time_stamp=1000", "&a%20b%3D1%26"},
        {"the method is upper-cased, the path encoded", u"", u"post", "app_key=AK&time_stamp=1000",
         "app_key=AK&sign={sign}&time_stamp=1000", "POST&v1%2Fuserop%2Fadd&"},
        {"keys sort byte-wise, prefixes first", u"type=1&time_stamp=5&ab=1&a=1&B=1", u"POST",
         "B=1&a=1&ab=1&app_key=AK&time_stamp=1000&type=1",
         "B=1&a=1&ab=1&app_key=AK&sign={sign}&time_stamp=1000&type=1", ""},
    };
    const ServiceClient client = ClientAt(1000, "AK", "secret");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SignedRequest r = client.SignRequestSteps(u"v1/userop/add", c.method, c.params);
        EXPECT_EQ(r.canonical, c.canonical);
        EXPECT_EQ(r.stringToSign, "POST&v1%2Fuserop%2Fadd&" + UrlEncode(c.canonical));
        EXPECT_NE(r.stringToSign.find(c.inStringToSign), std::string::npos) << r.stringToSign;
        const std::string signature = OpenSslSignature("secret", r.stringToSign);
        ASSERT_EQ(signature.size(), 28u);
        ASSERT_EQ(signature.back(), '=');
        EXPECT_EQ(r.signature, signature);
        std::string body = c.body;
        body.replace(body.find("{sign}"), 6, BodyForm(signature));
        EXPECT_EQ(r.body, body);
    }
}

// The body must escape "+" and "/" of the signature, which only some signatures contain.
TEST(Signing, SignatureCharactersAreEscapedInTheBody)
{
    bool seenPlus = false, seenSlash = false;
    for (std::time_t now = 0; now < 200 && !(seenPlus && seenSlash); ++now) {
        const SignedRequest r = ClientAt(now).SignRequestSteps(u"p", u"POST", u"");
        seenPlus = seenPlus || r.signature.find('+') != std::string::npos;
        seenSlash = seenSlash || r.signature.find('/') != std::string::npos;
        const std::string sign =
            r.body.substr(r.body.find("&sign=") + 6, r.body.rfind('&') - r.body.find("&sign=") - 6);
        EXPECT_EQ(sign, BodyForm(OpenSslSignature(kSecret, r.stringToSign)));
        EXPECT_EQ(sign.find_first_of("+/="), std::string::npos);
    }
    EXPECT_TRUE(seenPlus && seenSlash) << "no signature with both + and / among the time stamps";
}

// The stamp is the low 32 bits of the clock, printed as a signed number.
TEST(Signing, TimeStampIsSignedThirtyTwoBits)
{
    const struct
    {
        std::time_t now;
        const char* stamp;
    } rows[] = {{0, "0"},
                {2147483647, "2147483647"},
                {std::time_t{2147483648}, "-2147483648"},
                {std::time_t{4294967296} + 5, "5"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stamp);
        EXPECT_EQ(
            ClientAt(row.now).SignRequestSteps(u"p", u"POST", u"").parameters.at("time_stamp"),
            row.stamp);
    }
}

TEST(Signing, RealClockIsUsedWithoutTestClock)
{
    ServiceClient client(kKey, kSecret, "http://127.0.0.1:1");
    client.SetClockForTesting([] { return std::time_t{7}; });
    client.SetClockForTesting({});
    const std::time_t before = std::time(nullptr);
    const long stamp =
        std::stol(client.SignRequestSteps(u"p", u"POST", u"").parameters.at("time_stamp"));
    const std::time_t after = std::time(nullptr);
    EXPECT_GE(stamp, static_cast<long>(before));
    EXPECT_LE(stamp, static_cast<long>(after));
}

TEST(UrlEncoding, Table)
{
    const struct
    {
        const char* name;
        std::string input;
        std::string body;  // UrlEncode
        std::string sign;  // UrlEncodeSignValue
    } rows[] = {
        {"letters and digits pass both", "AZaz09", "AZaz09", "AZaz09"},
        {"space", " ", "%20", "%20"},
        {"tilde", "~", "%7E", "%7E"},
        {"dot, underscore, dash pass only the body form", "._-", "._-", "%2E%5F%2D"},
        {"!*() pass only the signing form", "!*()", "%21%2A%28%29", "!*()"},
        {"plus, slash, equals, comma, percent, ampersand", "+/=,%&", "%2B%2F%3D%2C%25%26",
         "%2B%2F%3D%2C%25%26"},
        {"control bytes", std::string("\x00\x1F\x7F", 3), "%00%1F%7F", "%00%1F%7F"},
        {"CJK: one escape per UTF-8 byte", "\xE4\xB8\xAD", "%E4%B8%AD", "%E4%B8%AD"},
        {"e acute", "\xC3\xA9", "%C3%A9", "%C3%A9"},
        {"stray continuation byte", "\xB5", "%B5", "%C2%B5"},
        {"empty", "", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(UrlEncode(row.input), row.body);
        EXPECT_EQ(UrlEncodeSignValue(row.input), row.sign);
    }
}

TEST(ServiceClientInstance, OneInstanceWithTheCompiledInValues)
{
    ServiceClient& first = ServiceClient::Instance();
    EXPECT_EQ(&first, &ServiceClient::Instance());
    EXPECT_EQ(first.appKey, EXPECTED_APP_KEY);
    EXPECT_EQ(first.appSecret, EXPECTED_APP_SECRET);
    EXPECT_EQ(first.baseUrl, EXPECTED_SERVICE_URL);
}

}  // namespace
