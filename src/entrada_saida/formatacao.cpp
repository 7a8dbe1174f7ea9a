#include "entrada_saida/formatacao.hpp"

#include "modelo/erros.hpp"
#include "plataforma/console.hpp"
#include "plataforma/sistema_de_arquivos.hpp"
#include "progresso/progresso.hpp"

#include <charconv>
#include <cmath>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <algorithm>
#include <random>
#include <vector>
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

std::string trecho_citado(std::string_view texto)
{
    constexpr std::size_t limite = 40;
    std::string saida;
    for (const char c : texto.substr(0, limite)) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            const char* const hex = "0123456789ABCDEF";
            saida += "\\x";
            saida += hex[b >> 4];
            saida += hex[b & 0xF];
        } else {
            saida += c;
        }
    }
    if (texto.size() > limite) saida += "... (" + std::to_string(texto.size()) + " caracteres)";
    return "\"" + saida + "\"";
}

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
    default: return "erro do sistema " + std::to_string(erro) + " (" + texto_do_erro(erro) + ")";
    }
}

namespace {

// Sufixo dos temporários: a marca da máquina, o processo, um contador e um
// sorteio: duas execuções (ou dois arquivos de uma) nunca escolhem o mesmo
// nome, e a marca e o processo dizem se quem o criou ainda existe.
const std::string& marca()
{
    static const std::string m = marca_da_maquina();
    return m;
}

std::string sufixo_unico()
{
    static unsigned contador = 0;
    static std::mt19937_64 sorteio(std::random_device{}() ^
                                   static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    char texto[96];
    std::snprintf(texto, sizeof texto, ".%s-%lu-%u-%08llx.parcial", marca().c_str(), numero_do_processo(), contador++,
                  static_cast<unsigned long long>(sorteio() & 0xFFFFFFFFu));
    return texto;
}

bool hexadecimal(std::string_view t, std::size_t n)
{
    return t.size() == n && t.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

bool algarismos(std::string_view t) { return !t.empty() && t.find_first_not_of("0123456789") == std::string_view::npos; }

// O processo que criou o temporário `nome`, se o nome é de um temporário
// desta máquina (marca de agora); 0 se não é.
unsigned long processo_do_temporario(std::string_view nome)
{
    constexpr std::string_view fim = ".parcial";
    if (!nome.ends_with(fim)) return 0;
    nome.remove_suffix(fim.size());
    const std::size_t ponto = nome.rfind('.');
    if (ponto == std::string_view::npos) return 0;
    std::string_view partes[4];
    std::string_view resto = nome.substr(ponto + 1);
    for (std::string_view& parte : partes) {
        const std::size_t traco = resto.find('-');
        parte = resto.substr(0, traco);
        resto = traco == std::string_view::npos ? std::string_view() : resto.substr(traco + 1);
    }
    if (!resto.empty() || partes[0] != marca() || !algarismos(partes[1]) || partes[1].size() > 10 ||
        !algarismos(partes[2]) || !hexadecimal(partes[3], 8)) {
        return 0;
    }
    return std::stoul(std::string(partes[1]));
}

// Restos de execuções que morreram sem apagar os temporários (SIGKILL, queda
// de energia), na pasta do destino: só os desta máquina, cujo processo não
// existe mais, com mais de uma hora. Numa pasta compartilhada (NFS, SMB,
// contêineres), o de outra máquina tem outra marca e fica.
void apagar_temporarios_abandonados(const std::string& destino)
{
    constexpr double uma_hora = 3600.0;
    static std::vector<std::string> feitos;
    const std::string pasta = diretorio_do_arquivo(destino);
    if (std::find(feitos.begin(), feitos.end(), pasta) != feitos.end()) return;
    feitos.push_back(pasta);
    for (const Item_diretorio& item : arquivos_comuns(pasta)) {
        const unsigned long processo = processo_do_temporario(item.nome);
        if (processo == 0 || item.idade < uma_hora || processo_existe(processo)) continue;
        apagar_arquivo(pasta + "/" + item.nome);
    }
}

std::string citado(const std::string& nome) { return "\"" + nome + "\""; }

// rename recusa por isso, com EPERM: a causa não é a permissão de escrita.
std::string motivo_da_pasta_restrita(const std::string& nome, const std::string& dono)
{
    const std::string pasta = diretorio_do_arquivo(nome);
    return "o arquivo existente é de outro usuário (" + dono + "), e a pasta " +
           citado(pasta == "." ? diretorio_de_trabalho() : pasta) +
           " tem o sticky bit (como /tmp ou uma pasta compartilhada da turma): nela, só o dono do arquivo ou da pasta "
           "pode substituí-lo. Rode o placa2d numa pasta sua, ou peça a " + dono + " que apague o arquivo";
}

std::string motivo_da_substituicao(int erro, const std::string& nome)
{
    if (erro == EPERM || erro == EACCES) {
        const Situacao_arquivo destino = situacao_do_arquivo(nome);
        if (!destino.impedido_por.empty()) return motivo_da_pasta_restrita(nome, destino.impedido_por);
    }
    return motivo_da_falha(erro);
}

} // namespace

std::string o_que_e(Tipo_arquivo tipo)
{
    switch (tipo) {
    case Tipo_arquivo::caracteres: return "um dispositivo de caracteres (como /dev/null)";
    case Tipo_arquivo::blocos: return "um dispositivo de blocos (um disco)";
    case Tipo_arquivo::fifo: return "um FIFO (pipe com nome)";
    case Tipo_arquivo::socket: return "um socket";
    default: return "algo que não é um arquivo comum";
    }
}

Arquivo_saida::Arquivo_saida(const std::string& nome) : nome_(nome)
{
    const auto falha = [&](const std::string& motivo) {
        return Erro_execucao("não foi possível criar o arquivo de saída " + citado(nome_) + ": " + motivo +
                             "; nenhum arquivo de saída foi mudado");
    };
    const Situacao_arquivo destino = situacao_do_arquivo(nome_);
    if (destino.tipo == Tipo_arquivo::diretorio) throw falha(motivo_da_falha(EISDIR));
    if (destino.tipo != Tipo_arquivo::regular && destino.tipo != Tipo_arquivo::inexistente) {
        throw falha("já existe com esse nome " + o_que_e(destino.tipo) +
                    ", não um arquivo comum, e ele não é substituído (mude o nome)");
    }
    if (destino.protegido) {
        throw falha("o arquivo existente está protegido contra escrita (o dono não tem permissão de escrita; no "
                    "Windows, somente leitura) e não é substituído: tire a proteção (chmod u+w) ou mude o nome");
    }
    if (!destino.impedido_por.empty()) throw falha(motivo_da_pasta_restrita(nome_, destino.impedido_por));
    apagar_temporarios_abandonados(nome_);
    for (int tentativa = 1;; ++tentativa) {
        temporario_ = nome_ + sufixo_unico();
        registrar_temporario(temporario_);
        saida_ = criar_exclusivo(temporario_);
        if (saida_ != nullptr) break;
        const int erro = errno;
        esquecer_temporario(temporario_);
        if (erro != EEXIST || tentativa == 10) throw falha(motivo_da_falha(erro));
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
    apagar_arquivo(temporario_);
    esquecer_temporario(temporario_);
}

void Arquivo_saida::escrever(const Linha& linha)
{
    escrever_bytes(linha.conteudo());
    escrever_vazia();
}

void Arquivo_saida::escrever_bytes(std::string_view bytes)
{
    if (std::fwrite(bytes.data(), 1, bytes.size(), saida_) != bytes.size()) falhar("gravar", errno);
    progresso::somar_bytes_gravados(bytes.size());
}

void Arquivo_saida::escrever_vazia()
{
    if (std::fwrite("\r\n", 1, 2, saida_) != 2) falhar("gravar", errno);
    progresso::somar_bytes_gravados(2);
}

// Com as permissões do arquivo que vai substituir e já no disco (fsync), antes
// de qualquer renomeação: uma queda de energia depois dela não deixa no lugar
// um arquivo vazio ou pela metade.
void Arquivo_saida::fechar()
{
    if (saida_ == nullptr) return;
    errno = 0;
    const bool esvaziou = std::fflush(saida_) == 0;
    int erro = errno;
    copiar_permissoes(saida_, nome_);
    if (esvaziou) erro = gravar_no_disco(saida_);
    const bool fechou = std::fclose(saida_) == 0;
    if (esvaziou && erro == 0) erro = fechou ? 0 : errno;
    saida_ = nullptr;
    if (erro != 0 || !esvaziou || !fechou) falhar("gravar", erro);
}

std::string Arquivo_saida::concluir() { return concluir_juntos({this}); }

void Arquivo_saida::falhar(const char* acao, int erro)
{
    descartar();
    throw Erro_execucao(std::string("falha ao ") + acao + " o arquivo de saída " + citado(nome_) + ": " +
                        motivo_da_falha(erro) + "; nenhum arquivo de saída foi mudado");
}

std::string concluir_juntos(std::span<Arquivo_saida* const> arquivos)
{
    try {
        for (Arquivo_saida* a : arquivos) a->fechar();
    } catch (...) {
        for (Arquivo_saida* a : arquivos) a->descartar();
        throw;
    }
    {
        Trecho_sem_interrupcao trecho;
        std::string substituidos;
        for (auto i = arquivos.begin(); i != arquivos.end(); ++i) {
            Arquivo_saida& a = **i;
            const int erro = substituir(a.temporario_, a.nome_);
            if (erro == 0) {
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
                                motivo_da_substituicao(erro, a.nome_) + "; " +
                                (substituidos.empty() ? "nenhum arquivo de saída foi mudado"
                                                      : "já substituídos por esta execução: " + substituidos +
                                                            "; mantidos como estavam: " + mantidos));
        }
    }
    // As renomeações no disco, fora do trecho: um Ctrl-C aqui não espera.
    std::vector<std::string> pastas;
    for (const Arquivo_saida* a : arquivos) {
        const std::string pasta = diretorio_do_arquivo(a->nome_);
        if (std::find(pastas.begin(), pastas.end(), pasta) == pastas.end()) pastas.push_back(pasta);
    }
    for (const std::string& pasta : pastas) {
        const int erro = gravar_diretorio_no_disco(pasta);
        if (erro != 0) {
            return "os arquivos de saída já foram substituídos, mas o sistema não confirmou a gravação da pasta " +
                   citado(pasta) + " no disco (" + motivo_da_falha(erro) +
                   "): numa queda de energia logo agora, a troca pode se perder";
        }
    }
    return "";
}
