/* The yardstick for process cost: a trivial static program that writes a few hundred bytes. */
#include <stdio.h>

int main(void)
{
    static const char text[] =
        "Content-Type: application/json; charset=utf-8\r\nCache-Control: no-store\r\n"
        "X-Content-Type-Options: nosniff\r\n\r\n"
        "{\"ok\":true,\"plugin\":\"baseline\",\"version\":\"0\",\"selected\":\"\","
        "\"accounts_path\":\"/srv/node/antigravity_accounts.json\",\"selected_path\":"
        "\"/srv/node/selected_account.txt\",\"cli_present\":true,\"count\":0,\"accounts\":[]}\n";
    return fwrite(text, 1, sizeof text - 1, stdout) == sizeof text - 1 ? 0 : 1;
}
