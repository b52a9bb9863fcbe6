// The message interpreter against known messages: getters, category checks, phone reply
// operations, wide and narrow texts, the dump layout; and dispatch through IDispatch.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "CCMAD.h"
#include "CCMCS.h"
#include "CCMPR.h"
#include "MsgInterpreter.h"
#include "cvn_test_support.h"

namespace {

using cvntest::Bstr;
using cvntest::ComPtr;

// An interpreter that owns a copy of the record's bytes (as the endpoint hands them over).
template <class Record>
ComPtr<IMsgInterpreter> Interpret(const Record& record) {
  void* pv = nullptr;
  EXPECT_EQ(MsgInterpreter::CreateInstance(IID_IMsgInterpreter, &pv), S_OK);
  ComPtr<IMsgInterpreter> interpreter(static_cast<IMsgInterpreter*>(pv));
  BYTE* body = new BYTE[sizeof(Record)];
  std::memcpy(body, record.GetBytes(), sizeof(Record));
  EXPECT_EQ(interpreter->SetMsgBody(body), S_OK);
  return interpreter;
}

CCMCS Connected() {
  CCMCS msg;
  msg.SetType(0x0383);
  msg.SetExtension("1234");
  msg.SetRequestId(0x80000001u);
  msg.SetFirstLineNum(3);
  msg.SetSecondLineNum(0xFFFF);
  msg.SetFirstAddr("5551212");
  msg.SetCallerName("Ann Other");
  msg.SetCallReason(2);
  msg.SetDTMFDigit('7');
  msg.SetStatus(5);
  msg.SetDialedNum("9,5551212");
  return msg;
}

TEST(CvnInterpreterTest, CallStatusMessageGetters) {
  ComPtr<IMsgInterpreter> message = Interpret(Connected());
  struct LongGetter {
    const char* name;
    HRESULT (STDMETHODCALLTYPE IMsgInterpreter::*getter)(LONG*);
    LONG expected;
  };
  const LongGetter getters[] = {
      {"GetMsgType", &IMsgInterpreter::GetMsgType, eConnected},
      {"GetMsgCategory", &IMsgInterpreter::GetMsgCategory, eCallStatusMsg},
      {"GetStatus", &IMsgInterpreter::GetStatus, 5},
      {"GetFirstLineNum", &IMsgInterpreter::GetFirstLineNum, 3},
      {"GetSecondLineNum", &IMsgInterpreter::GetSecondLineNum, 0xFFFF},
      {"GetCallReason", &IMsgInterpreter::GetCallReason, 2},
      {"GetDTMFDigit", &IMsgInterpreter::GetDTMFDigit, '7'},
      {"GetMsgLength", &IMsgInterpreter::GetMsgLength, 148},
      {"GetMsgRevision", &IMsgInterpreter::GetMsgRevision, 0x0101},
      {"GetSecurityCookie", &IMsgInterpreter::GetSecurityCookie, 0},
      {"GetRequestId", &IMsgInterpreter::GetRequestId, static_cast<LONG>(0x80000001u)},
  };
  for (const LongGetter& g : getters) {
    LONG value = -12345;
    EXPECT_EQ((message.Get()->*g.getter)(&value), S_OK) << g.name;
    EXPECT_EQ(value, g.expected) << g.name;
  }

  struct TextGetter {
    const char* name;
    HRESULT (STDMETHODCALLTYPE IMsgInterpreter::*narrow)(BSTR*);
    HRESULT (STDMETHODCALLTYPE IMsgInterpreter::*wide)(BSTR*);
    std::string expected;
  };
  const TextGetter texts[] = {
      {"UserExtension", &IMsgInterpreter::GetUserExtensionA, &IMsgInterpreter::GetUserExtension,
       "1234"},
      {"FirstAddr", &IMsgInterpreter::GetFirstAddrA, &IMsgInterpreter::GetFirstAddr, "5551212"},
      {"CallerName", &IMsgInterpreter::GetCallerNameA, &IMsgInterpreter::GetCallerName,
       "Ann Other"},
      {"DialedNum", &IMsgInterpreter::GetDialedNumA, &IMsgInterpreter::GetDialedNum,
       "9,5551212"},
  };
  for (const TextGetter& t : texts) {
    Bstr narrow, wide;
    ASSERT_EQ((message.Get()->*t.narrow)(narrow.Out()), S_OK) << t.name;
    EXPECT_EQ(narrow.NarrowText(), t.expected) << t.name;
    // The byte length excludes the terminating zero.
    EXPECT_EQ(narrow.ByteLength(), t.expected.size()) << t.name;
    ASSERT_EQ((message.Get()->*t.wide)(wide.Out()), S_OK) << t.name;
    EXPECT_EQ(wide.WideText(), std::u16string(t.expected.begin(), t.expected.end())) << t.name;
  }
}

TEST(CvnInterpreterTest, CategoryChecks) {
  CCMAD reply;
  reply.SetType(0x0102);
  reply.SetExtension("100");
  reply.SetStatus(4);
  ComPtr<IMsgInterpreter> admin = Interpret(reply);
  LONG value = 77;
  EXPECT_EQ(admin->GetMsgType(&value), S_OK);
  EXPECT_EQ(value, eRegisterReply);
  EXPECT_EQ(admin->GetStatus(&value), S_OK);
  EXPECT_EQ(value, 4);
  // Call-status getters fail and leave their output alone.
  value = 77;
  EXPECT_EQ(admin->GetFirstLineNum(&value), E_FAIL);
  EXPECT_EQ(admin->GetRequestId(&value), E_FAIL);
  EXPECT_EQ(value, 77);
  Bstr text;
  EXPECT_EQ(admin->GetCallerNameA(text.Out()), E_FAIL);
  EXPECT_EQ(text.Get(), nullptr);
  EXPECT_EQ(admin->GetPhoneOwnerName(text.Out()), E_FAIL);
  EXPECT_EQ(admin->IsPhoneOperationSet(eCvnOwnerName, &value), E_FAIL);
  EXPECT_EQ(value, 0);

  // A request code has neither type nor category, and no status.
  CCMAD request;
  request.SetType(0x0401);
  ComPtr<IMsgInterpreter> unknown = Interpret(request);
  EXPECT_EQ(unknown->GetMsgType(&value), E_FAIL);
  EXPECT_EQ(unknown->GetMsgCategory(&value), E_FAIL);
  EXPECT_EQ(unknown->GetStatus(&value), E_FAIL);
  EXPECT_EQ(value, -1);
}

TEST(CvnInterpreterTest, PhoneReply) {
  CCMPR reply;
  reply.SetType(0x0501);
  reply.SetExtension("100");
  reply.SetQueryOperation(eCvnOwnerName);
  reply.SetQueryOperation(eCvnRingVol);
  reply.SetOwnerName("Owner One");
  reply.SetStatus(0);
  ComPtr<IMsgInterpreter> message = Interpret(reply);
  LONG value = 0;
  EXPECT_EQ(message->GetMsgType(&value), S_OK);
  EXPECT_EQ(value, ePhoneQueryReply);
  const struct {
    CvnPhoneOperationE op;
    LONG expected;
  } operations[] = {{eCvnOwnerName, 0x40},
                    {eCvnRingVol, 0x02000000},
                    {eCvnHWVer, 0},
                    {eCvnSetAllQuery, 0},
                    {static_cast<CvnPhoneOperationE>(-1), 0}};
  for (const auto& o : operations) {
    value = 99;
    EXPECT_EQ(message->IsPhoneOperationSet(o.op, &value), S_OK) << o.op;
    EXPECT_EQ(value, o.expected) << o.op;
  }
  Bstr owner, wide;
  EXPECT_EQ(message->GetPhoneOwnerNameA(owner.Out()), S_OK);
  EXPECT_EQ(owner.NarrowText(), "Owner One");
  EXPECT_EQ(message->GetPhoneOwnerName(wide.Out()), S_OK);
  EXPECT_EQ(wide.WideText(), u"Owner One");
  EXPECT_EQ(message->GetStatus(&value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(message->GetFirstLineNum(&value), E_FAIL);
}

// The dump text expected for `length` bytes.
std::string ExpectedDump(const BYTE* bytes, size_t length) {
  std::string dump = "CALL STATE MESSAGE DUMP\n";
  for (int i = 0; i < 20; ++i) dump += (i < 10 ? "0" : "") + std::to_string(i) + " ";
  dump += "\n" + std::string(60, '-') + "\n";
  static const char kHex[] = "0123456789abcdef";
  for (size_t i = 0; i < length; ++i) {
    const BYTE byte = bytes[i];
    dump += {kHex[byte >> 4], kHex[byte & 0xF], ' '};
    if ((i + 1) % 20 == 0) dump += '\n';
  }
  return dump + "\n";
}

TEST(CvnInterpreterTest, DumpLayout) {
  for (const size_t length : {size_t{148}, size_t{140}}) {
    void* pv = nullptr;
    ASSERT_EQ(MsgInterpreter::CreateInstance(IID_IMsgInterpreter, &pv), S_OK);
    ComPtr<IMsgInterpreter> message(static_cast<IMsgInterpreter*>(pv));
    Bstr dump;
    EXPECT_EQ(message->DumpA(dump.Out()), E_FAIL) << "no body yet";

    BYTE* body = new BYTE[length];
    for (size_t i = 0; i < length; ++i) body[i] = static_cast<BYTE>(i);
    CCMLayout::WriteWord(body + 2, static_cast<WORD>(length));
    ASSERT_EQ(message->SetMsgBody(body), S_OK);
    const std::string expected = ExpectedDump(body, length);
    ASSERT_EQ(message->DumpA(dump.Out()), S_OK);
    EXPECT_EQ(dump.NarrowText(), expected) << length;
    // The byte length counts the final zero.
    EXPECT_EQ(dump.ByteLength(), expected.size() + 1) << length;
    // 148 bytes: seven full rows, an eighth of eight bytes, the closing line break;
    // 140 bytes: seven full rows and an empty line.
    EXPECT_TRUE(dump.NarrowText().ends_with(length == 148 ? "\n8c 8d 8e 8f 90 91 92 93 \n"
                                                          : "88 89 8a 8b \n\n"));
  }
}

// Invoke by name through IDispatch, with the return value in pVarResult.
TEST(CvnInterpreterTest, DispatchByName) {
  ComPtr<IMsgInterpreter> message = Interpret(Connected());
  auto id_of = [&](const char16_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    EXPECT_EQ(message->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    return id;
  };
  EXPECT_EQ(id_of(u"GetMsgType"), 1);
  EXPECT_EQ(id_of(u"getdialednuma"), 24);
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Frobnicate")};
  DISPID id = 0;
  EXPECT_EQ(message->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id),
            DISP_E_UNKNOWNNAME);

  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(message->Invoke(id_of(u"GetFirstLineNum"), IID_NULL, 0, DISPATCH_METHOD, &none,
                            &result, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 3);
  ASSERT_EQ(message->Invoke(id_of(u"GetCallerNameA"), IID_NULL, 0, DISPATCH_METHOD, &none,
                            &result, nullptr, nullptr),
            S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_STREQ(reinterpret_cast<const char*>(result.bstrVal), "Ann Other");
  VariantClear(&result);

  // IsPhoneOperationSet(op, [out] long*): an integer, then a reference to a long.
  LONG is_set = 5;
  VARIANT args[2];
  args[1].vt = VT_I2;
  args[1].iVal = eCvnOwnerName;
  args[0].vt = VT_BYREF | VT_I4;
  args[0].plVal = &is_set;
  DISPPARAMS params{args, nullptr, 2, 0};
  EXPECT_EQ(message->Invoke(20, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            E_FAIL);
  EXPECT_EQ(is_set, 0);

  UINT bad_arg = 99;
  args[0].vt = VT_BSTR;
  args[0].bstrVal = nullptr;
  EXPECT_EQ(message->Invoke(20, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, &bad_arg),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(bad_arg, 0u);
  EXPECT_EQ(message->Invoke(99, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(message->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
}

}  // namespace
