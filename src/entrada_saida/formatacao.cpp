#include "formatacao.hpp"

#include "erros.hpp"
#include "console.hpp"
#include "sistema_de_arquivos.hpp"
#include "progresso.hpp"

#include <charconv>
#include <cmath>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
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

std::string motivo_da_falha(int erro)
{
    switch (erro) {
    case ENOENT: return "o diretório não existe (crie-o ou corrija o caminho)";
    case ENOTDIR: return "uma parte do caminho é um arquivo, não um diretório";
    case EISDIR: return "já existe um diretório com esse nome (mude o nome ou remova o diretório)";
    case EACCES:
    case EPERM: return "sem permissão de escrita, ou o arquivo está aberto e bloqueado por outro programa";
    case EROFS: return "o sistema de arquivos é somente leitura";
    case ENOSPC: return "disco cheio ou sem inodes livres (libere espaço ou apague arquivos)";
#ifdef EDQUOT
    case EDQUOT: return "a cota de disco do usuário acabou (libere espaço ou peça mais cota)";
#endif
    case EMFILE:
    case ENFILE: return "arquivos abertos demais no sistema (feche outros programas)";
    case EFBIG: return "o arquivo passou do tamanho máximo permitido (limite do usuário ou do sistema de arquivos)";
    case EIO: return "erro de entrada e saída no disco";
    case ENAMETOOLONG: return "nome ou caminho longo demais";
    case EINVAL: return "nome de arquivo que o sistema não aceita";
#ifdef ELOOP
    case ELOOP: return "ligações simbólicas em ciclo no caminho";
#endif
    case EBUSY:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
        return "o arquivo está em uso por outro programa";
    default: return "erro do sistema " + std::to_string(erro) + " (" + std::generic_category().message(erro) + ")";
    }
}

namespace {

// Sufixo dos temporários: processo, contador e sorteio, para que duas
// execuções (ou dois arquivos de uma) nunca escolham o mesmo nome.
std::string sufixo_unico()
{
    static unsigned contador = 0;
    static std::mt19937_64 sorteio(std::random_device{}() ^
                                   static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    char texto[64];
    std::snprintf(texto, sizeof texto, ".%lu-%u-%08llx.parcial", numero_do_processo(), contador++,
                  static_cast<unsigned long long>(sorteio() & 0xFFFFFFFFu));
    return texto;
}

std::string citado(const std::string& nome) { return "\"" + nome + "\""; }

int errno_de(const std::error_code& erro)
{
    const std::error_condition condicao = erro.default_error_condition();
    return condicao.category() == std::generic_category() ? condicao.value() : EIO;
}

} // namespace

Arquivo_saida::Arquivo_saida(const std::string& nome) : nome_(nome)
{
    const auto falha = [&](int erro) {
        return Erro_execucao("não foi possível criar o arquivo de saída " + citado(nome_) + ": " + motivo_da_falha(erro) +
                             "; nenhum arquivo de saída foi mudado");
    };
    std::error_code ignorado;
    if (std::filesystem::is_directory(nome_, ignorado)) throw falha(EISDIR);
    for (int tentativa = 1;; ++tentativa) {
        temporario_ = nome_ + sufixo_unico();
        registrar_temporario(temporario_);
        saida_ = criar_exclusivo(temporario_);
        if (saida_ != nullptr) break;
        const int erro = errno;
        esquecer_temporario(temporario_);
        if (erro != EEXIST || tentativa == 10) throw falha(erro);
    }
    std::setvbuf(saida_, nullptr, _IOFBF, 1 << 16);
}

Arquivo_saida::~Arquivo_saida()
{
    if (!concluido_) descartar();
}

void Arquivo_saida::descartar()
{
    if (saida_ != nullptr) std::fclose(saida_);
    saida_ = nullptr;
    std::remove(temporario_.c_str());
    esquecer_temporario(temporario_);
}

void Arquivo_saida::escrever(const Linha& linha)
{
    const std::string& bytes = linha.conteudo();
    if (std::fwrite(bytes.data(), 1, bytes.size(), saida_) != bytes.size()) falhar("gravar", errno);
    progresso::somar_bytes_gravados(bytes.size());
    escrever_vazia();
}

void Arquivo_saida::escrever_vazia()
{
    if (std::fwrite("\r\n", 1, 2, saida_) != 2) falhar("gravar", errno);
    progresso::somar_bytes_gravados(2);
}

void Arquivo_saida::fechar()
{
    if (saida_ == nullptr) return;
    errno = 0;
    const bool esvaziou = std::fflush(saida_) == 0;
    int erro = errno;
    const bool fechou = std::fclose(saida_) == 0;
    if (esvaziou) erro = errno;
    saida_ = nullptr;
    if (!esvaziou || !fechou) falhar("gravar", erro);
}

void Arquivo_saida::concluir() { concluir_juntos({this}); }

void Arquivo_saida::falhar(const char* acao, int erro)
{
    descartar();
    throw Erro_execucao(std::string("falha ao ") + acao + " o arquivo de saída " + citado(nome_) + ": " +
                        motivo_da_falha(erro) + "; nenhum arquivo de saída foi mudado");
}

void concluir_juntos(std::initializer_list<Arquivo_saida*> arquivos)
{
    try {
        for (Arquivo_saida* a : arquivos) a->fechar();
    } catch (...) {
        for (Arquivo_saida* a : arquivos) a->descartar();
        throw;
    }
    Trecho_sem_interrupcao trecho;
    std::string substituidos;
    for (auto i = arquivos.begin(); i != arquivos.end(); ++i) {
        Arquivo_saida& a = **i;
        std::error_code erro;
        std::filesystem::rename(a.temporario_, a.nome_, erro);
        if (!erro) {
            a.concluido_ = true;
            esquecer_temporario(a.temporario_);
            substituidos += (substituidos.empty() ? "" : ", ") + citado(a.nome_);
            continue;
        }
        std::string mantidos;
        for (auto j = i; j != arquivos.end(); ++j) {
            (*j)->descartar();
            mantidos += (mantidos.empty() ? "" : ", ") + citado((*j)->nome_);
        }
        throw Erro_execucao("falha ao substituir o arquivo de saída " + citado(a.nome_) + ": " +
                            motivo_da_falha(errno_de(erro)) + "; " +
                            (substituidos.empty() ? "nenhum arquivo de saída foi mudado"
                                                  : "já substituídos por esta execução: " + substituidos +
                                                        "; mantidos como estavam: " + mantidos));
    }
}
