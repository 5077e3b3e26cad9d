// Lists a Galdera server's objects and their data types, one per line:
//   comlux-consumer [SERVER [HANDOUT_PORT COMMAND_PORT]]
#include <comlux/ComluxClient.h>
#include <comlux/HostNames.h>
#include <cstdlib>
#include <iostream>

int main(int argc, char** argv) {
    comlux::ComluxClient client;
    if (argc > 3) client.SetPorts(std::atoi(argv[2]), std::atoi(argv[3]));
    std::vector<std::string> names, types;
    if (!client.OpenConnection(argc > 1 ? argv[1] : comlux::ComputerName(), true)) return 1;
    if (!client.GetObjectsAndTypes(names, types)) return 1;
    for (std::size_t i = 0; i < names.size(); ++i) std::cout << names[i] << '\t' << types[i] << '\n';
    return client.CloseConnection() ? 0 : 1;
}
