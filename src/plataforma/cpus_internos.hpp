// As leituras de cpus.hpp com as fontes como parâmetro: a raiz do /proc e
// se a afinidade do processo vale. Os testes (placa2d_plataforma_internos)
// dão um /proc que não existe e nenhuma afinidade, como no macOS.
#pragma once

#include <filesystem>

namespace cpus_internos {

int tarefas_prontas_de_outros(const std::filesystem::path& proc);
bool carga_do_sistema_visivel(const std::filesystem::path& proc);
int cpus_disponiveis(bool com_afinidade);

} // namespace cpus_internos
