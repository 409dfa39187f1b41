#include "interface_list.h"

namespace {

class SystemInterfaceSource final : public InterfaceSource {
public:
    bool List(std::vector<NetworkInterface>& interfaces, std::string& error) override
    {
        return ListNetworkInterfaces(interfaces, error);
    }
};

} // namespace

InterfaceSource& SystemInterfaces()
{
    static SystemInterfaceSource system;
    return system;
}
