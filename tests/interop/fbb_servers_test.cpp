// The whole chain on one machine: mail on dovecot and news on INN, fetched by tidewire-soup in
// a gateway pass, imported and stored by the real LinFBB.
#include <gtest/gtest.h>

#include "interop/interop_station.h"
#include "soup/soup_run.h"

namespace tidewire::interop {
namespace {

using namespace std::chrono_literals;
using tidewire::soup::testing::RunSoup;
using tidewire::soup::testing::Servers;
using tidewire::soup::testing::WritePacket;

TEST(FbbServers, InternetMailAndNewsFromRealServersAreStoredByFbb) {
  SKIP_WITHOUT_FBB();
  const Servers& servers = Servers::Get();
  const std::string mark = std::to_string(::getpid());
  servers.EmptyMailbox("user11");
  servers.Deliver("user11", "1.a",
                  "From: Alice <alice@example.com>\nTo: Jane Doe <jane@example.org>\n"
                  "Subject: Dovecot to Jane " +
                      mark + "\n\nHello Jane.\n.\n");
  servers.Deliver("user11", "2.b",
                  "From: Bob <bob@example.com>\nTo: john@example.net\n"
                  "Subject: Dovecot to John " +
                      mark + "\n\nHello John.\n");
  TempDir poster;
  WritePacket(poster.path(), {},
              {"From: Carol <carol@example.org>\nNewsgroups: tw.g11\nSubject: INN article " + mark +
               "\nMessage-ID: <inn." + mark + "@example.org>\n\nFrom INN.\n"});
  ASSERT_EQ(RunSoup(poster.path(), {"-s", "x"}, {"NNTPSERVER=" + servers.At("NNTP_PORT")}).status,
            0);

  FbbInstance fbb;
  GatewayStation station(fbb.ImportDir());
  station.UseRealClient({"SSL_CERT_FILE=" + servers["CA_FILE"], "TIDEWIRE_SOUP_TIMEOUT=10"});
  station.SetConfigLine(10, servers.At("SMTP_PORT"));
  station.SetConfigLine(11, servers.At("POP3_PORT"));
  station.SetConfigLine(12, servers.At("NNTP_PORT"));
  station.SetConfigLine(13, "user11");
  station.SetConfigLine(14, "secret");
  WriteBytes(station.Work(".NEWSRC"), "tw.g11:\r\n");
  WriteBytes(station.Work("TWIRE.PTI"), "TECH\r\n");

  ASSERT_TRUE(Completed(station.Pass()));
  ASSERT_TRUE(fbb.Start()) << fbb.Log();
  ASSERT_TRUE(fbb.WaitForImport(240s)) << "FBB did not take mail.in\n" << fbb.Log();
  EXPECT_EQ(fbb.Stop(), 1) << fbb.Log();
  std::string faults;
  const std::vector<WrittenMessage> written = ReadWrittenMessages(station.BackupMailIn(), faults);
  EXPECT_EQ(faults, "");
  EXPECT_TRUE(StoredAsWritten(written, fbb.ImportedMessages(), fbb));
  std::vector<std::string> titles;
  for (const FbbRecord& r : fbb.ImportedMessages()) titles.push_back(r.title);
  for (const std::string& title :
       {"Dovecot to Jane " + mark, "Dovecot to John " + mark, "INN article " + mark}) {
    EXPECT_NE(std::find(titles.begin(), titles.end(), title), titles.end()) << title;
  }
  EXPECT_EQ(servers.MailboxSize("user11"), 0u);
}

}  // namespace
}  // namespace tidewire::interop
