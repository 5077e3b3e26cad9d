// placeholder until the runner lands
namespace sequora::cli {}
