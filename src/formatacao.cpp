#include "formatacao.hpp"

#include "erros.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

constexpr int largura_cientifico = 25;
constexpr int largura_inteiro = 10;
constexpr int largura_fixo = 15;

std::string alinhar(std::string_view texto, int largura)
{
    const std::size_t n = static_cast<std::size_t>(largura);
    if (texto.size() >= n) return std::string(texto);
    return std::string(n - texto.size(), ' ') + std::string(texto);
}

// Mantissa de 16 algarismos e expoente: E+dd, ou sinal e três algarismos sem a letra.
std::string cientifico_sem_alinhar(double valor)
{
    if (std::isnan(valor)) return "NaN";
    if (std::isinf(valor)) return valor < 0 ? "-Infinity" : "Infinity";
    char buffer[40];
    const auto fim = std::to_chars(buffer, buffer + sizeof buffer, valor, std::chars_format::scientific, 15).ptr;
    const std::string_view texto(buffer, static_cast<std::size_t>(fim - buffer));
    const std::size_t e = texto.find('e');
    const std::string_view mantissa = texto.substr(0, e);
    const char sinal = texto[e + 1];
    std::string_view algarismos = texto.substr(e + 2);
    std::string resultado(mantissa);
    if (algarismos.size() <= 2) {
        resultado += 'E';
        resultado += sinal;
        resultado += algarismos;
    } else {
        resultado += sinal;
        resultado += algarismos;
    }
    return resultado;
}

} // namespace

std::string para_cp1252(std::string_view utf8)
{
    std::string saida;
    saida.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
            const unsigned char seguinte = static_cast<unsigned char>(utf8[i + 1]);
            saida += static_cast<char>((c == 0xC3 ? 0xC0 : 0x80) | (seguinte & 0x3F));
            ++i;
        } else {
            saida += static_cast<char>(c);
        }
    }
    return saida;
}

std::string campo_cientifico(double valor) { return alinhar(cientifico_sem_alinhar(valor), largura_cientifico); }

std::string campo_inteiro(std::int32_t valor)
{
    char buffer[16];
    const auto fim = std::to_chars(buffer, buffer + sizeof buffer, valor).ptr;
    const std::string_view texto(buffer, static_cast<std::size_t>(fim - buffer));
    if (texto.size() > static_cast<std::size_t>(largura_inteiro)) return std::string(largura_inteiro, '*');
    return alinhar(texto, largura_inteiro);
}

std::string campo_fixo(double valor)
{
    const std::string asteriscos(largura_fixo, '*');
    if (!std::isfinite(valor)) return asteriscos;
    char buffer[400];
    const auto fim = std::to_chars(buffer, buffer + sizeof buffer, valor, std::chars_format::fixed, 3).ptr;
    std::string texto(buffer, static_cast<std::size_t>(fim - buffer));
    // Sem algarismo antes do ponto quando a parte inteira é zero: 0.125 -> .125
    const std::size_t zero = (texto[0] == '-') ? 1 : 0;
    if (texto.compare(zero, 2, "0.") == 0) texto.erase(zero, 1);
    if (texto.size() > static_cast<std::size_t>(largura_fixo)) return asteriscos;
    return alinhar(texto, largura_fixo);
}

Linha& Linha::texto(std::string_view utf8)
{
    bytes_ += para_cp1252(utf8);
    return *this;
}

Linha& Linha::cientifico(double valor)
{
    bytes_ += campo_cientifico(valor);
    return *this;
}

Linha& Linha::inteiro(std::int32_t valor)
{
    bytes_ += campo_inteiro(valor);
    return *this;
}

Linha& Linha::fixo(double valor)
{
    bytes_ += campo_fixo(valor);
    return *this;
}

Linha& Linha::coluna(int n)
{
    const std::size_t alvo = static_cast<std::size_t>(n - 1);
    if (bytes_.size() < alvo) bytes_.append(alvo - bytes_.size(), ' ');
    return *this;
}

Arquivo_saida::Arquivo_saida(const std::string& nome) : nome_(nome), temporario_(nome + ".parcial")
{
    saida_.open(temporario_, std::ios::binary | std::ios::trunc);
    if (!saida_) {
        throw Erro_execucao("não foi possível criar o arquivo de saída \"" + nome_ +
                            "\" (diretório inexistente ou sem permissão de escrita)");
    }
}

Arquivo_saida::~Arquivo_saida()
{
    if (!concluido_) descartar();
}

void Arquivo_saida::descartar()
{
    saida_.close();
    std::error_code ignorado;
    std::filesystem::remove(temporario_, ignorado);
}

void Arquivo_saida::escrever(const Linha& linha)
{
    saida_.write(linha.conteudo().data(), static_cast<std::streamsize>(linha.conteudo().size()));
    escrever_vazia();
}

void Arquivo_saida::escrever_vazia()
{
    saida_.write("\r\n", 2);
    if (!saida_) falhar("gravar");
}

void Arquivo_saida::concluir()
{
    saida_.close();
    if (!saida_) falhar("fechar");
    std::error_code erro;
    std::filesystem::rename(temporario_, nome_, erro);
    if (erro) falhar("substituir");
    concluido_ = true;
}

void Arquivo_saida::falhar(const char* acao)
{
    descartar();
    throw Erro_execucao(std::string("falha ao ") + acao + " o arquivo de saída \"" + nome_ +
                        "\" (disco cheio ou sem permissão?); o arquivo anterior, se havia, foi preservado");
}
