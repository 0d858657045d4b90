// DES, MD4, Base64 and the NTLM messages against published vectors and OpenSSL.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <random>
#include <string>

#include "transport/MimeUtil.h"
#include "transport/SockDES.h"
#include "transport/SockMD4.h"
#include "transport/SockNtlmMsgs.h"

namespace {

std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (unsigned char c : bytes) {
    s += digits[c >> 4];
    s += digits[c & 15];
  }
  return s;
}
std::string Unhex(std::string_view hex) {
  std::string s;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) s += char(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return s;
}
const uint8_t* U8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TNtlmChallenge Challenge(std::string_view hex) {
  TNtlmChallenge c{};
  const std::string b = Unhex(hex);
  std::copy(b.begin(), b.end(), c.begin());
  return c;
}

// OpenSSL keeps DES and MD4 in its legacy provider, loaded here into a library context
// of the tests' own so that the rest of the process keeps its usual providers.
class OpenSslLegacy : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    context_ = OSSL_LIB_CTX_new();
    legacy_ = OSSL_PROVIDER_load(context_, "legacy");
    default_ = OSSL_PROVIDER_load(context_, "default");
    ASSERT_NE(legacy_, nullptr) << "OpenSSL's legacy provider is missing";
  }
  static void TearDownTestSuite() {
    OSSL_PROVIDER_unload(legacy_);
    OSSL_PROVIDER_unload(default_);
    OSSL_LIB_CTX_free(context_);
  }
  static std::string Des(const std::string& key, const std::string& block, bool encrypt) {
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(context_, "DES-ECB", nullptr);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, cipher, nullptr, U8(key), nullptr, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    unsigned char out[16];
    int n = 0, m = 0;
    EVP_CipherUpdate(ctx, out, &n, U8(block), 8);
    EVP_CipherFinal_ex(ctx, out + n, &m);
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    return std::string(reinterpret_cast<char*>(out), size_t(n + m));
  }
  static std::string Md4(const std::string& data) {
    EVP_MD* md = EVP_MD_fetch(context_, "MD4", nullptr);
    unsigned char out[16];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), out, &n, md, nullptr);
    EVP_MD_free(md);
    return std::string(reinterpret_cast<char*>(out), n);
  }
  static inline OSSL_LIB_CTX* context_ = nullptr;
  static inline OSSL_PROVIDER* legacy_ = nullptr;
  static inline OSSL_PROVIDER* default_ = nullptr;
};

std::string RandomBytes(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (auto& c : s) c = char(rng() & 0xFF);
  return s;
}

std::string OurDes(const std::string& key, const std::string& block, bool encrypt) {
  uint8_t out[8];
  DesBlock(U8(block), out, U8(key), encrypt);
  return std::string(reinterpret_cast<char*>(out), 8);
}

TEST(Des, PublishedBlocksAndTheirInverse) {
  struct V {
    const char *key, *plain, *cipher;
  } vectors[] = {{"133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
                 {"0123456789abcdef", "4e6f772069732074", "3fa40e8a984d4815"}};
  for (const auto& v : vectors) {
    EXPECT_EQ(Hex(OurDes(Unhex(v.key), Unhex(v.plain), true)), v.cipher);
    EXPECT_EQ(Hex(OurDes(Unhex(v.key), Unhex(v.cipher), false)), v.plain);
  }
}

TEST(Des, ParityBitsOfTheKeyAreIgnoredAndBitsNumberFromTheTop) {
  const std::string key = Unhex("133457799bbcdff1"), plain = Unhex("0123456789abcdef");
  std::string flipped = key;
  for (auto& c : flipped) c = char(c ^ 1);
  EXPECT_EQ(OurDes(key, plain, true), OurDes(flipped, plain, true));

  uint8_t data[2] = {0x80, 0x01};
  EXPECT_TRUE(DesGetBit(data, 1));
  EXPECT_TRUE(DesGetBit(data, 16));
  EXPECT_FALSE(DesGetBit(data, 8));
  DesSetBit(data, 1, false);
  DesSetBit(data, 9, true);
  EXPECT_EQ(data[0], 0x00);
  EXPECT_EQ(data[1], 0x81);
}

TEST_F(OpenSslLegacy, DesAgreesOnRandomKeysAndBlocks) {
  std::mt19937 rng(1234);
  for (int i = 0; i < 300; ++i) {
    const std::string key = RandomBytes(rng, 8), block = RandomBytes(rng, 8);
    ASSERT_EQ(Hex(OurDes(key, block, true)), Hex(Des(key, block, true))) << Hex(key) << " " << Hex(block);
    ASSERT_EQ(Hex(OurDes(key, block, false)), Hex(Des(key, block, false))) << Hex(key) << " " << Hex(block);
  }
}

TEST(Md4, Rfc1320Suite) {
  const std::pair<std::string, const char*> suite[] = {
      {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
      {"a", "bde52cb31de33e46245e05fbdbd6fb24"},
      {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
      {"message digest", "d9130a8164549fe818874806e1c7014b"},
      {"abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "043f8582f241db351ce627e153e7f0e4"},
      {[] {
         std::string s;
         for (int i = 0; i < 8; ++i) s += "1234567890";
         return s;
       }(),
       "e33b4ddc9c38f2199c3e7b164fcc0536"}};
  for (const auto& [text, digest] : suite) EXPECT_EQ(Hex(MD4String(text)), digest) << text;
}

TEST(Md4, ContextMustBeInitialisedAndFinalClearsIt) {
  TMD4Context ctx;
  uint8_t digest[16];
  EXPECT_THROW(MD4Update(ctx, "a", 1), MD4Exception);
  EXPECT_THROW(MD4Final(ctx, digest), MD4Exception);
  MD4Init(ctx);
  MD4Update(ctx, "ab", 2);
  MD4Update(ctx, "c", 1);
  MD4Final(ctx, digest);
  EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(digest), 16)), "a448017aaf21d8525fc10ae87aa6729d");
  try {
    MD4Update(ctx, "a", 1);
    FAIL() << "a finished context must be initialised again";
  } catch (const MD4Exception& e) {
    EXPECT_EQ(e.Message(), "MD4 not initialized");
  }
}

TEST_F(OpenSslLegacy, Md4AgreesAcrossBlockBoundariesAndPieces) {
  std::mt19937 rng(99);
  for (size_t n : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u, 4099u}) {
    const std::string data = RandomBytes(rng, n);
    EXPECT_EQ(Hex(MD4String(data)), Hex(Md4(data))) << n;
    TMD4Context ctx;
    MD4Init(ctx);
    for (size_t at = 0; at < n; at += 7) MD4Update(ctx, data.data() + at, std::min<size_t>(7, n - at));
    uint8_t digest[16];
    MD4Final(ctx, digest);
    EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(digest), 16)), Hex(Md4(data))) << n;
  }
}

TEST(Base64, Rfc4648VectorsBothWays) {
  const std::pair<const char*, const char*> v[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                                                   {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
                                                   {"foobar", "Zm9vYmFy"}};
  for (const auto& [plain, coded] : v) {
    EXPECT_EQ(Base64Encode(plain), coded);
    EXPECT_EQ(Base64Decode(coded), plain);
  }
}

TEST(Base64, RoundTripsEveryByteWithoutLineBreaks) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += char(i);
  all += all + all;
  const std::string coded = Base64Encode(all);
  EXPECT_EQ(coded.find('\n'), std::string::npos);
  EXPECT_EQ(coded.size(), (all.size() + 2) / 3 * 4);
  EXPECT_EQ(Base64Decode(coded), all);
}

TEST(Base64, ForeignInputStaysInsideAndStopsCleanly) {
  EXPECT_EQ(Base64Decode("Zm9v\r\nYmFy"), "foobar");  // folded header text
  EXPECT_EQ(Base64Decode("Zm9vYg"), "foob");          // padding left out
  EXPECT_EQ(Base64Decode("Zm9vYmE"), "fooba");
  EXPECT_EQ(Base64Decode("Zm9vY"), "foo");            // a lone sextet carries no byte
  EXPECT_EQ(Base64Decode("Zm9v\xC3\xA9YmFy"), "foo");  // bytes of 128 and above end the data
  EXPECT_EQ(Base64Decode("Zm9v*YmFy"), "foo");
  EXPECT_EQ(Base64Decode("Zg==Zm9v"), "f");
  EXPECT_EQ(Base64Decode("===="), "");
}

// NTLMv1 values of MS-NLMP 4.2.2 and two other widely published examples.
TEST(Ntlm, ResponsesMatchPublishedExamples) {
  const auto ch = Challenge("0123456789abcdef");
  EXPECT_EQ(Hex(LmResponse("Password", ch)), "98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13");
  EXPECT_EQ(Hex(NtResponse("Password", ch)), "67c43011f30298a2ad35ece64f16331c44bdbed927841f94");
  EXPECT_EQ(Hex(MD4String(NtlmUnicode("Password"))), "a4f49c406510bdcab6824ee7c30fd852");
  EXPECT_EQ(Hex(LmResponse("SecREt01", ch)), "c337cd5cbd44fc9782a667af6d427c6de67c20c2d3e77c56");
  EXPECT_EQ(Hex(NtResponse("SecREt01", ch)), "25a98c1c31e81847466b29b2df4680f39958fb8c213a9cc6");
  // An empty password is 14 zero bytes for the LM response.
  EXPECT_EQ(Hex(LmResponse("", ch)), "bada4716c630d691180e163fbdd87cde5f3231384d879388");
  EXPECT_EQ(Hex(NtResponse("", ch)), "3a2eb2b1b13b01b8491ab00c070dd7e1da0b98040b02c03f");
}

TEST(Ntlm, LmUsesFourteenCharactersNtTheWholePassword) {
  const auto ch = Challenge("0123456789abcdef");
  EXPECT_EQ(LmResponse("abcdefghijklmnXYZ", ch), LmResponse("ABCDEFGHIJKLMN", ch));
  EXPECT_NE(NtResponse("abcdefghijklmnXYZ", ch), NtResponse("abcdefghijklmn", ch));
}

TEST(Ntlm, KeySpreadPutsFiftySixBitsInTheTopOfEachByte) {
  // Seven 0xFF bytes give a key of all ones in the top seven bits: 0xFE each.
  const uint8_t key7[7] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const uint8_t key8[8] = {0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE};
  uint8_t expect[8];
  DesBlock(block, expect, key8, true);
  const auto got = DesKeyFrom7(key7, block);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), expect));
}

TEST(Ntlm, NegotiateMessageLayout) {
  EXPECT_EQ(BuildNtlmNegotiate("", ""), "TlRMTVNTUAABAAAAB4IAAAAAAAAAAAAAAAAAAAAAAAA=");
  const std::string m = Base64Decode(BuildNtlmNegotiate("ws", "dom"));
  ASSERT_EQ(m.size(), 37u);
  EXPECT_EQ(Hex(m.substr(12, 4)), "07b20000");  // flags 0x0000B207
  EXPECT_EQ(Hex(m.substr(16, 8)), "0300030022000000");  // domain: 3 bytes at 34
  EXPECT_EQ(Hex(m.substr(24, 8)), "0200020020000000");  // workstation: 2 bytes at 32
  EXPECT_EQ(m.substr(32), "WSDOM");
}

TEST(Ntlm, AuthenticateMessageLayout) {
  const std::string text = BuildNtlmAuthenticate("", "WS", "user", Challenge("0123456789abcdef"), "Password");
  EXPECT_EQ(text,
            "TlRMTVNTUAADAAAAGAAYAEwAAAAYABgAZAAAAAAAAABAAAAACAAIAEAAAAAEAAQASAAAAAAAAAAAAAAABYIAAHUAcwBlAHIAVwBT"
            "AJje97h/iKpdr+Lfd5aIoXLe8Rx9XM3vE2fEMBHzApiirTXs5k8WMxxEvb7ZJ4QflA==");
  const std::string m = Base64Decode(BuildNtlmAuthenticate("Dom", "H", "u", Challenge("0123456789abcdef"), "x"));
  EXPECT_EQ(Hex(m.substr(28, 8)), "0600060040000000");  // domain "Dom" widened at 64
  EXPECT_EQ(Hex(m.substr(36, 8)), "0200020046000000");
  EXPECT_EQ(Hex(m.substr(44, 8)), "0200020048000000");
  EXPECT_EQ(m.size(), 64u + 6 + 2 + 2 + 48);
}

const char kChallengeFixture[] =
    "TlRMTVNTUAACAAAADAAMADAAAAAFAoIAASNFZ4mrze8AAAAAAAAAACQAJAA8AAAAUwBlAHIAdgBlAHIAAgAMAEQAbwBtAGEAaQBuAAEADABT"
    "AGUAcgB2AGUAcgAAAAAA";

TEST(Ntlm, ChallengeParsesNamesAndTargetInformation) {
  const TNTLM_Msg2_Info info = ParseNtlmChallenge(kChallengeFixture);
  EXPECT_TRUE(info.Valid);
  EXPECT_EQ(Hex(std::string(info.Challenge.begin(), info.Challenge.end())), "0123456789abcdef");
  EXPECT_EQ(info.TargetName, u"Server");
  EXPECT_EQ(info.DomainName, u"Domain");
  EXPECT_EQ(info.ServerName, u"Server");
  EXPECT_FALSE(ParseNtlmChallenge("").Valid);
}

TEST(Ntlm, HostileChallengesNeverReadOutsideTheMessage) {
  std::string m = Base64Decode(kChallengeFixture);
  // Too short to hold a challenge, or not a challenge message at all.
  EXPECT_FALSE(ParseNtlmChallenge(Base64Encode(m.substr(0, 31))).Valid);
  std::string type1 = m;
  type1[8] = 1;
  EXPECT_FALSE(ParseNtlmChallenge(Base64Encode(type1)).Valid);
  EXPECT_FALSE(ParseNtlmChallenge("not base64 at all").Valid);

  // Just the 32 bytes that carry the challenge: valid, names empty.
  TNTLM_Msg2_Info shortOne = ParseNtlmChallenge(Base64Encode(m.substr(0, 32)));
  EXPECT_TRUE(shortOne.Valid);
  EXPECT_TRUE(shortOne.TargetName.empty());
  EXPECT_TRUE(shortOne.ServerName.empty());

  // Buffers pointing past the end, and a target-information entry longer than its buffer.
  std::string bad = m;
  bad[16] = char(0xF0);  // target name offset far outside
  bad[44] = char(0x50);  // target info offset past the end
  TNTLM_Msg2_Info outside = ParseNtlmChallenge(Base64Encode(bad));
  EXPECT_TRUE(outside.Valid);
  EXPECT_TRUE(outside.TargetName.empty());
  EXPECT_TRUE(outside.DomainName.empty());
  std::string longEntry = m;
  longEntry[62] = char(0xFF);  // the DomainName entry claims 255 bytes
  TNTLM_Msg2_Info cut = ParseNtlmChallenge(Base64Encode(longEntry));
  EXPECT_EQ(cut.TargetName, u"Server");
  EXPECT_TRUE(cut.DomainName.empty());
  EXPECT_TRUE(cut.ServerName.empty());

  // Every truncation of the fixture parses without touching memory past the end.
  for (size_t n = 0; n <= m.size(); ++n) ParseNtlmChallenge(Base64Encode(m.substr(0, n)));
}

}  // namespace
